#include "lib/AdoIbQuery.h"
#include "lib/SessionPool.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using lib::DatabaseError;
using lib::PoolOptions;
using lib::SessionPool;
using lib::TADOIBQuery;
using testing_support::TestDatabase;
using namespace std::chrono_literals;

namespace {

class PoolTest : public ::testing::TestWithParam<TestDatabase::Backend> {
protected:
    std::unique_ptr<TestDatabase> test;

    void SetUp() override {
        test = TestDatabase::create(GetParam());
        if (!test) GTEST_SKIP() << "TIPOPER_TEST_PG não definido";
        test->admin().execute("CREATE TABLE TIPOOPERAC (IDENTRSAIDOP VARCHAR(1), CDTIPOOPER VARCHAR(2), "
                              "NMTIPOOPER VARCHAR(30), PRIMARY KEY (IDENTRSAIDOP, CDTIPOOPER))");
        std::string rows;
        for (int i = 0; i < 100; ++i)
            rows += std::string(i ? "," : "") + "('E', '" + code(i) + "', 'Operação " + std::to_string(i) + "')";
        test->admin().execute("INSERT INTO TIPOOPERAC VALUES " + rows);
    }

    std::shared_ptr<SessionPool> makePool(std::size_t size, std::chrono::milliseconds timeout = 10s) {
        return std::make_shared<SessionPool>(test->url(), PoolOptions{size, timeout});
    }

    static std::string code(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

    // The screen's duplicate-code check.
    static void duplicateCheck(TADOIBQuery& q) {
        q.setSQL({"SELECT CDTIPOOPER, NMTIPOOPER FROM TIPOOPERAC",
                  "WHERE CDTIPOOPER = :P_CDTIPOOPER AND IDENTRSAIDOP = :P_IDENTRSAID"});
    }
    static std::string nameOf(TADOIBQuery& q, const std::string& kind, int i) {
        q.Close();
        q.setParam("P_CDTIPOOPER", code(i));
        q.setParam("P_IDENTRSAID", kind);
        q.Open();
        return q.IsEmpty() ? "<none>" : q.asString("NMTIPOOPER");
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Databases, PoolTest,
                         ::testing::Values(TestDatabase::Backend::SQLite, TestDatabase::Backend::PostgreSQL),
                         [](const auto& param) { return testing_support::backendName(param.param); });

TEST_P(PoolTest, ManyThreadsShareAtMostSizeSessions) {
    constexpr std::size_t kSize = 3;
    constexpr int kThreads = 8, kQueries = 40;
    auto pool = makePool(kSize);

    std::atomic<bool> done{false};
    long long peak = 0;
    std::thread monitor([&] {
        while (!done) {
            peak = std::max(peak, test->sessionCount());
            std::this_thread::sleep_for(1ms);
        }
    });
    std::atomic<int> wrong{0}, failed{0};
    std::vector<std::thread> users;
    for (int t = 0; t < kThreads; ++t)
        users.emplace_back([&, t] {
            TADOIBQuery q(*pool, "qryVdTipoOper");
            duplicateCheck(q);
            try {
                for (int i = 0; i < kQueries; ++i) {
                    const int n = (t * kQueries + i) % 100;
                    if (nameOf(q, "E", n) != "Operação " + std::to_string(n)) ++wrong;
                    if (nameOf(q, "S", n) != "<none>") ++wrong;
                }
            } catch (const DatabaseError& e) {
                ++failed;
                ADD_FAILURE() << e.what() << " " << e.detail();
            }
        });
    for (auto& user : users)
        user.join();
    done = true;
    monitor.join();

    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(failed, 0);
    const auto stats = pool->stats();
    EXPECT_LE(stats.opened, kSize);
    EXPECT_LE(peak, static_cast<long long>(kSize));
    EXPECT_EQ(test->sessionCount(), static_cast<long long>(stats.open)); // the database agrees
    EXPECT_EQ(stats.idle, stats.open);                                   // every lease came back
    EXPECT_LE(stats.prepares, stats.opened); // one text: prepared at most once per session
    EXPECT_EQ(stats.timeouts, 0u);
}

TEST_P(PoolTest, PreparedStatementsAreReusedPerSession) {
    auto pool = makePool(2);
    TADOIBQuery first(*pool, "qryVdTipoOper"), second(*pool, "qryVdTipoOper");
    duplicateCheck(first);
    duplicateCheck(second);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(nameOf(first, "E", i), "Operação " + std::to_string(i));
        EXPECT_EQ(nameOf(second, "E", i + 50), "Operação " + std::to_string(i + 50));
    }
    EXPECT_EQ(pool->stats().opened, 1u); // a lone user keeps to one session
    EXPECT_EQ(pool->stats().prepares, 1u);
    {
        auto held = pool->borrow(); // the warm session is busy: the query runs on a second one
        EXPECT_EQ(nameOf(first, "E", 7), "Operação 7");
        EXPECT_EQ(pool->stats().prepares, 2u);
    }
    for (int i = 0; i < 3; ++i)
        nameOf(first, "E", i);
    EXPECT_EQ(pool->stats().prepares, 2u);

    // The cache keeps the most recent statements of a session, not every text it ever ran.
    auto one = makePool(1);
    const auto cap = static_cast<int>(lib::Database::kStatementCacheSize);
    std::vector<std::unique_ptr<TADOIBQuery>> texts;
    for (int i = 0; i <= cap; ++i) {
        texts.push_back(std::make_unique<TADOIBQuery>(*one, "qryTexto"));
        texts.back()->setSQL({"SELECT " + std::to_string(i) + " AS N"});
        texts.back()->Open();
    }
    EXPECT_EQ(one->stats().prepares, static_cast<std::size_t>(cap + 1));
    texts.back()->Close();
    texts.back()->Open(); // still cached
    texts.front()->Close();
    texts.front()->Open(); // pushed out by the newer ones
    EXPECT_EQ(texts.front()->asString("N"), "0");
    EXPECT_EQ(one->stats().prepares, static_cast<std::size_t>(cap + 2));
}

TEST_P(PoolTest, BorrowWaitsForAReturnAndTimesOutCleanly) {
    auto pool = makePool(2, 150ms);
    auto a = pool->borrow();
    auto b = pool->borrow();
    TADOIBQuery q(*pool, "qryVdTipoOper");
    duplicateCheck(q);
    const auto start = std::chrono::steady_clock::now();
    try {
        nameOf(q, "E", 1);
        ADD_FAILURE() << "every session is lent";
    } catch (const DatabaseError& e) {
        EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
        EXPECT_EQ(e.kind(), DatabaseError::Kind::Busy);
        EXPECT_STREQ(e.what(), "A base de dados está ocupada; tente novamente em instantes.");
        EXPECT_NE(e.detail().find("2 sessões"), std::string::npos) << e.detail();
    }
    EXPECT_FALSE(q.active());
    EXPECT_EQ(pool->stats().timeouts, 1u);

    // A borrower that waits gets the first session given back.
    auto patient = makePool(1, 10s);
    auto held = std::make_unique<lib::SessionLease>(patient->borrow());
    std::atomic<bool> finished{false};
    std::string found;
    std::thread waiter([&] {
        TADOIBQuery w(*patient, "qryVdTipoOper");
        duplicateCheck(w);
        found = nameOf(w, "E", 42);
        finished = true;
    });
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         patient->stats().waits == 0 && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(patient->stats().waits, 1u);
    EXPECT_FALSE(finished);
    held.reset();
    waiter.join();
    EXPECT_EQ(found, "Operação 42");
    EXPECT_EQ(patient->stats().timeouts, 0u);
    EXPECT_EQ(patient->stats().opened, 1u);
}

TEST_P(PoolTest, ABrokenSessionIsDroppedAndReplaced) {
    auto pool = makePool(1);
    {
        auto lease = pool->borrow();
        lease.discard();
    }
    auto stats = pool->stats();
    EXPECT_EQ(stats.open, 0u);
    EXPECT_EQ(stats.discarded, 1u);
    TADOIBQuery q(*pool, "qryVdTipoOper");
    duplicateCheck(q);
    EXPECT_EQ(nameOf(q, "E", 3), "Operação 3");
    EXPECT_EQ(pool->stats().opened, 2u);
    if (test->dialect() != lib::Dialect::PostgreSQL) return; // an SQLite file never drops a session

    // The server ends the idle session (a restart, an idle timeout): the next query does not see it.
    test->terminateSessions();
    EXPECT_EQ(nameOf(q, "E", 4), "Operação 4");
    stats = pool->stats();
    EXPECT_EQ(stats.discarded, 2u);
    EXPECT_EQ(stats.opened, 3u);
    EXPECT_EQ(stats.open, 1u);

    // A dedicated session cannot be replaced: the failure reaches the caller, without the library's text.
    lib::Database dedicated(test->url());
    TADOIBQuery d(dedicated, "qryVdTipoOper");
    duplicateCheck(d);
    EXPECT_EQ(nameOf(d, "E", 5), "Operação 5");
    test->terminateSessions();
    try {
        nameOf(d, "E", 6);
        ADD_FAILURE() << "the session was ended";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.kind(), DatabaseError::Kind::Query);
        EXPECT_STREQ(e.what(), "Não foi possível consultar a base de dados (consulta qryVdTipoOper).");
        EXPECT_FALSE(e.detail().empty());
    }
}

TEST(SessionPoolShared, OnePoolPerURLWhileHeld) {
    auto test = TestDatabase::create(TestDatabase::Backend::SQLite);
    auto first = SessionPool::shared(test->url(), PoolOptions{2, 1s});
    auto again = SessionPool::shared(test->url(), PoolOptions{5, 1s});
    EXPECT_EQ(first, again);
    EXPECT_EQ(again->options().size, 2u); // a living pool keeps its options
    auto other = TestDatabase::create(TestDatabase::Backend::SQLite);
    EXPECT_NE(SessionPool::shared(other->url()), first);

    first->borrow(); // opens one session
    first.reset();
    again.reset();
    auto fresh = SessionPool::shared(test->url(), PoolOptions{5, 1s});
    EXPECT_EQ(fresh->stats().opened, 0u);
    EXPECT_EQ(fresh->options().size, 5u);
    EXPECT_EQ(test->sessionCount(), 0); // the old pool closed its session

    for (const auto& [url, size] : {std::pair{std::string("sqlite::memory:"), std::size_t{2}},
                                    std::pair{test->url(), std::size_t{0}},
                                    std::pair{std::string("postgresql://u:segredo@h"), std::size_t{2}}}) {
        try {
            SessionPool pool(url, PoolOptions{size, 1s});
            ADD_FAILURE() << url << " " << size;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.kind(), DatabaseError::Kind::Configuration) << e.detail();
            EXPECT_STREQ(e.what(), "A configuração da base de dados é inválida.");
            EXPECT_EQ(e.detail().find("segredo"), std::string::npos) << e.detail();
        }
    }
}
