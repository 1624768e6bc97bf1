#pragma once

// A database of its own for one test: an SQLite file in the temporary folder, or a schema of its own
// on the PostgreSQL that TIPOPER_TEST_PG names (so concurrent suites never collide). Every session
// opened on url() lands in that database: on PostgreSQL the URL sets the search path and an
// application name that tells this test's sessions apart from everyone else's.

#include "lib/Database.h"

#include <soci/soci.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

namespace testing_support {

class TestDatabase {
public:
    enum class Backend { SQLite, PostgreSQL };

    // Null when the backend is PostgreSQL and TIPOPER_TEST_PG is not set.
    static std::unique_ptr<TestDatabase> create(Backend backend) {
        static int counter = 0;
        const std::string name = "lib_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        auto db = std::unique_ptr<TestDatabase>(new TestDatabase);
        db->name_ = name;
        if (backend == Backend::PostgreSQL) {
            const char* base = std::getenv("TIPOPER_TEST_PG");
            if (!base || !*base) return nullptr;
            db->url_ = std::string(base) + (std::string(base).find('?') == std::string::npos ? "?" : "&") +
                       "application_name=" + name + "&options=-csearch_path%3D" + name;
            lib::Database(base).execute("CREATE SCHEMA " + name);
            db->schemaOn_ = base;
        } else {
            db->file_ = std::filesystem::temp_directory_path() / (name + ".db");
            db->url_ = "sqlite:" + db->file_.string();
        }
        db->admin_ = std::make_unique<lib::Database>(db->url_);
        return db;
    }

    ~TestDatabase() {
        admin_.reset();
        if (!schemaOn_.empty()) lib::Database(schemaOn_).execute("DROP SCHEMA " + name_ + " CASCADE");
        if (!file_.empty()) std::filesystem::remove(file_);
    }

    const std::string& url() const { return url_; }
    lib::Dialect dialect() const { return admin_->dialect(); }
    // A dedicated session for test data and for looking at the server.
    lib::Database& admin() { return *admin_; }

    long long count(const std::string& sql) {
        long long n = 0;
        admin_->session() << sql, soci::into(n);
        return n;
    }

    // Sessions open on this database besides admin(), as the database sees them: PostgreSQL's own
    // list of backends; for SQLite, this process's descriptors open on the file.
    long long sessionCount() {
        if (dialect() == lib::Dialect::PostgreSQL)
            return count("SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + name_ +
                         "' AND pid <> pg_backend_pid()");
        long long n = 0;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
            std::error_code readError;
            if (std::filesystem::read_symlink(entry.path(), readError) == file_) ++n;
        }
        return n - 1;
    }

    // Ends every session of this database except admin()'s, as a restarting server would.
    void terminateSessions() {
        count("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = '" +
              name_ + "' AND pid <> pg_backend_pid()");
    }

private:
    TestDatabase() = default;
    std::string name_, url_, schemaOn_;
    std::filesystem::path file_;
    std::unique_ptr<lib::Database> admin_;
};

inline const char* backendName(TestDatabase::Backend backend) {
    return backend == TestDatabase::Backend::PostgreSQL ? "postgresql" : "sqlite";
}

} // namespace testing_support
