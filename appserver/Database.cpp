#include "Database.h"

#include <cstring>
#include <filesystem>
#include <mutex>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>
#include <spdlog/spdlog.h>
#include <utility>

namespace appserver {

using namespace sqlite_api;

namespace {

// --- SQLite reads through the native statement --------------------------------------------------------

class SqliteReader final : public Reader {
public:
    SqliteReader(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                               &stmt_, nullptr) != SQLITE_OK)
            throw DatabaseError(DbFailure::Other,
                                std::string("Falha ao preparar consulta: ") + sqlite3_errmsg(db_));
    }
    ~SqliteReader() override { sqlite3_finalize(stmt_); }

    void execute(std::span<const std::string_view> params) override {
        sqlite3_reset(stmt_);
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (sqlite3_bind_text(stmt_, static_cast<int>(i + 1), params[i].data(),
                                  static_cast<int>(params[i].size()), SQLITE_TRANSIENT) != SQLITE_OK)
                throw DatabaseError(DbFailure::Other,
                                    std::string("Falha ao ligar parâmetro: ") + sqlite3_errmsg(db_));
        }
    }

    bool next() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        const DbFailure kind = rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? DbFailure::Busy : DbFailure::Other;
        throw DatabaseError(kind, std::string("Falha na leitura: ") + sqlite3_errmsg(db_));
    }

    // Two calls per value, not three: the text pointer is null exactly for NULL (an empty text is "").
    std::optional<std::string_view> value(int column) const override {
        const auto* p = sqlite3_column_text(stmt_, column);
        if (!p) return std::nullopt;
        return std::string_view{reinterpret_cast<const char*>(p),
                                static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
    }

    // Resetting ends the statement's read transaction; a statement left stepping would keep this
    // connection on an old snapshot and hide other sessions' commits.
    void close() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// --- PostgreSQL reads through libpq ---------------------------------------------------------------------

DbFailure classifySqlState(const char* state) {
    if (!state) return DbFailure::Other;
    if (std::strcmp(state, "23505") == 0) return DbFailure::UniqueViolation;
    if (std::strcmp(state, "23503") == 0) return DbFailure::ForeignKeyViolation;
    if (std::strcmp(state, "22001") == 0) return DbFailure::ValueTooLong;
    if (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0 ||
        std::strcmp(state, "55P03") == 0)
        return DbFailure::Busy;
    return DbFailure::Other;
}

[[noreturn]] void throwPg(PGconn* conn, PGresult* res, const char* what) {
    std::string message = what;
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const DbFailure kind = classifySqlState(state);
    const char* detail = res ? PQresultErrorMessage(res) : PQerrorMessage(conn);
    if (detail && *detail) message += std::string(": ") + detail;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    if (res) PQclear(res);
    throw DatabaseError(kind, message);
}

class PgReader final : public Reader {
public:
    PgReader(PGconn* conn, const std::string& sql, std::string name) : conn_(conn), name_(std::move(name)) {
        PGresult* res = PQprepare(conn_, name_.c_str(), sql.c_str(), 0, nullptr);
        if (PQresultStatus(res) != PGRES_COMMAND_OK) throwPg(conn_, res, "Falha ao preparar consulta");
        PQclear(res);
    }
    ~PgReader() override {
        close();
        // The prepared statement dies with the connection; deallocating it here would cost a round trip.
    }

    void execute(std::span<const std::string_view> params) override {
        close();
        // libpq takes NUL-terminated texts; the callers refuse NUL characters in every argument.
        buffers_.assign(params.begin(), params.end());
        pointers_.clear();
        for (const auto& b : buffers_)
            pointers_.push_back(b.c_str());
        result_ = PQexecPrepared(conn_, name_.c_str(), static_cast<int>(pointers_.size()), pointers_.data(),
                                 nullptr, nullptr, 0);
        if (PQresultStatus(result_) != PGRES_TUPLES_OK) {
            PGresult* res = std::exchange(result_, nullptr);
            throwPg(conn_, res, "Falha na leitura");
        }
        rows_ = PQntuples(result_);
        row_ = -1;
    }

    bool next() override { return ++row_ < rows_; }
    std::optional<std::string_view> value(int column) const override {
        if (PQgetisnull(result_, row_, column)) return std::nullopt;
        return std::string_view{PQgetvalue(result_, row_, column),
                                static_cast<std::size_t>(PQgetlength(result_, row_, column))};
    }
    void close() override {
        if (result_) PQclear(std::exchange(result_, nullptr));
        rows_ = 0;
        row_ = -1;
    }

private:
    PGconn* conn_;
    std::string name_;
    std::vector<std::string> buffers_;
    std::vector<const char*> pointers_;
    PGresult* result_ = nullptr;
    int rows_ = 0;
    int row_ = -1;
};

sqlite3* nativeSqlite(soci::session& s) {
    return static_cast<soci::sqlite3_session_backend*>(s.get_backend())->conn_;
}
PGconn* nativePg(soci::session& s) {
    return static_cast<soci::postgresql_session_backend*>(s.get_backend())->conn_;
}

} // namespace

DbFailure classifyDbFailure(const std::exception& e) {
    if (const auto* d = dynamic_cast<const DatabaseError*>(&e)) return d->kind();
    if (const auto* pg = dynamic_cast<const soci::postgresql_soci_error*>(&e)) {
        const std::string state = pg->sqlstate();
        return classifySqlState(state.c_str());
    }
    if (const auto* lite = dynamic_cast<const soci::sqlite3_soci_error*>(&e)) {
        const int rc = lite->result() & 0xFF;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return DbFailure::Busy;
        if (rc == SQLITE_CONSTRAINT) {
            const std::string what = e.what();
            if (what.find("UNIQUE") != std::string::npos || what.find("PRIMARY KEY") != std::string::npos)
                return DbFailure::UniqueViolation;
            if (what.find("FOREIGN KEY") != std::string::npos) return DbFailure::ForeignKeyViolation;
        }
    }
    return DbFailure::Other;
}

bool isDatabaseError(const std::exception& e) {
    return dynamic_cast<const DatabaseError*>(&e) || dynamic_cast<const soci::soci_error*>(&e);
}

// --- Command ---------------------------------------------------------------------------------------------

struct Command::Impl {
    std::vector<std::string> values;
    std::vector<soci::indicator> indicators;
    soci::statement statement;
    explicit Impl(soci::session& s) : statement(s) {}
};

Command::Command(soci::session& session, const std::string& sql, int params)
    : impl_(std::make_unique<Impl>(session)) {
    // Sized once: the statement keeps references into these vectors.
    impl_->values.resize(static_cast<std::size_t>(params));
    impl_->indicators.resize(static_cast<std::size_t>(params), soci::i_null);
    for (std::size_t i = 0; i < impl_->values.size(); ++i)
        impl_->statement.exchange(soci::use(impl_->values[i], impl_->indicators[i]));
    impl_->statement.alloc();
    impl_->statement.prepare(sql);
    impl_->statement.define_and_bind();
}

Command::~Command() = default;

void Command::set(int index, std::optional<std::string_view> value) {
    const auto i = static_cast<std::size_t>(index);
    if (value) {
        impl_->values[i].assign(value->data(), value->size());
        impl_->indicators[i] = soci::i_ok;
    } else {
        impl_->values[i].clear();
        impl_->indicators[i] = soci::i_null;
    }
}

long long Command::execute() {
    impl_->statement.execute(true);
    return impl_->statement.get_affected_rows();
}

// --- Database --------------------------------------------------------------------------------------------

Database::Database(const DatabaseUrl& url) : dialect_(url.dialect) {
    if (dialect_ == Dialect::Sqlite) {
        // Each connection is used by one thread at a time, so SQLite's per-call connection mutex is pure
        // cost (a sixth of a 1,000-row read). This only takes effect before SQLite's first use in the
        // process; later it fails harmlessly and SQLite stays serialized.
        static std::once_flag multithread;
        std::call_once(multithread, [] { sqlite3_config(SQLITE_CONFIG_MULTITHREAD); });
        const std::filesystem::path file(url.path);
        if (file.has_parent_path()) {
            std::error_code ec;
            std::filesystem::create_directories(file.parent_path(), ec);
        }
        session_ = std::make_unique<soci::session>(soci::sqlite3, url.connectString);
        // WAL lets readers go on while one writer commits; NORMAL syncs at checkpoints only, which in WAL
        // mode still never loses a committed transaction to a crash of the process.
        exec("PRAGMA synchronous = NORMAL");
        exec("PRAGMA foreign_keys = ON");
        begin_ = std::make_unique<Command>(*session_, "BEGIN IMMEDIATE", 0);
    } else {
        session_ = std::make_unique<soci::session>(soci::postgresql, url.connectString);
        // Server notices ("already exists, skipping", ...) go to the debug log instead of stderr.
        PQsetNoticeProcessor(
            nativePg(*session_),
            [](void*, const char* message) {
                std::string_view text(message);
                while (!text.empty() && text.back() == '\n')
                    text.remove_suffix(1);
                spdlog::debug("PostgreSQL: {}", text);
            },
            nullptr);
        // A row lock held by a stuck client must not hang every other save forever.
        exec("SET lock_timeout = '10s'");
        begin_ = std::make_unique<Command>(*session_, "BEGIN", 0);
    }
    commit_ = std::make_unique<Command>(*session_, "COMMIT", 0);
    rollback_ = std::make_unique<Command>(*session_, "ROLLBACK", 0);
}

Database::~Database() = default;

void Database::exec(const std::string& sql) {
    *session_ << sql;
}

std::unique_ptr<Reader> Database::prepareReader(const std::string& sql) {
    if (dialect_ == Dialect::Sqlite) return std::make_unique<SqliteReader>(nativeSqlite(*session_), sql);
    return std::make_unique<PgReader>(nativePg(*session_), sql, "tipoper_r" + std::to_string(++readers_));
}

bool Database::usable() {
    if (dialect_ == Dialect::Postgresql) return PQstatus(nativePg(*session_)) == CONNECTION_OK;
    return true;
}

void Database::begin() {
    begin_->execute();
}
void Database::commit() {
    commit_->execute();
}

void Database::rollback() noexcept {
    try {
        rollback_->execute();
    } catch (...) {
        // A failed rollback leaves nothing to undo: the transaction already ended with the failure.
    }
}

} // namespace appserver
