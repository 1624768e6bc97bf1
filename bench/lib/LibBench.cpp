// Costs of the library's hot paths: a server round trip through the connection component against a
// plain loopback TCP round trip, and the small lookups the screens run on leaving an edit, each on a
// dedicated session and through the pool (SQLite always, PostgreSQL when TIPOPER_TEST_PG names one).

#include "lib/AdoIbQuery.h"
#include "lib/Consiste.h"
#include "lib/NetConnection.h"
#include "lib/SessionPool.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers each line at once with {"jsonrpc":"2.0","id":<id>,"result":true}; finding the id is a scan,
// so the server's own cost stays far below the client's.
class EchoServer {
public:
    EchoServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listenFd_, 4);
        socklen_t len = sizeof addr;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~EchoServer() {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }
    int port() const { return port_; }

private:
    void run() {
        for (;;) {
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0) return;
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string in, out;
            char chunk[65536];
            for (;;) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) break;
                in.append(chunk, static_cast<std::size_t>(n));
                std::size_t nl;
                while ((nl = in.find('\n')) != std::string::npos) {
                    const auto idPos = in.find("\"id\":");
                    const auto idEnd = in.find_first_of(",}", idPos);
                    out = R"({"jsonrpc":"2.0","id":)" + in.substr(idPos + 5, idEnd - idPos - 5) +
                          R"(,"result":true})" + "\n";
                    in.erase(0, nl + 1);
                    ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
                }
            }
            ::close(fd);
        }
    }
    int listenFd_;
    int port_;
    std::thread thread_;
};

void BM_PlainTcpRoundTrip(benchmark::State& state) {
    EchoServer server;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(server.port()));
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"GetVdCusto","params":["01"]})"
                                "\n";
    char buffer[256];
    for (auto _ : state) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        ssize_t got = 0;
        do
            got = ::recv(fd, buffer, sizeof buffer, 0);
        while (got > 0 && buffer[got - 1] != '\n');
        benchmark::DoNotOptimize(got);
    }
    ::close(fd);
}
BENCHMARK(BM_PlainTcpRoundTrip)->UseRealTime();

void BM_AppServerRoundTrip(benchmark::State& state) {
    EchoServer server;
    lib::TNetConnection net;
    net.setServerName("Ger06600.rdmTipOper");
    net.setPort(server.port());
    net.setConnected(true);
    for (auto _ : state) {
        auto answer = net.AppServer("GetVdCusto", nlohmann::json::array({"01"}));
        benchmark::DoNotOptimize(Consiste::CheckResultServ(answer, true, 0));
    }
}
BENCHMARK(BM_AppServerRoundTrip)->UseRealTime();

// A lookup table on a database of its own: an SQLite file (a pool cannot share an in-memory one), or
// a schema on the PostgreSQL that TIPOPER_TEST_PG names.
class LookupDb {
public:
    explicit LookupDb(lib::Dialect dialect) {
        const std::string name = "bench_lib_" + std::to_string(::getpid());
        if (dialect == lib::Dialect::PostgreSQL) {
            base_ = std::getenv("TIPOPER_TEST_PG");
            lib::Database(base_).execute("CREATE SCHEMA " + name);
            schema_ = name;
            url_ = base_ + (base_.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + name;
        } else {
            file_ = std::filesystem::temp_directory_path() / (name + ".db");
            url_ = "sqlite:" + file_.string();
        }
        lib::Database db(url_);
        db.execute("CREATE TABLE TIPOOPERAC (IDENTRSAIDOP VARCHAR(1), CDTIPOOPER VARCHAR(2), NMTIPOOPER "
                   "VARCHAR(30), PRIMARY KEY (IDENTRSAIDOP, CDTIPOOPER))");
        std::string rows;
        for (int i = 0; i < 100; ++i) {
            const std::string code = Consiste::Ajusta(std::to_string(i), 2);
            for (const char* kind : {"E", "S"})
                rows += std::string(rows.empty() ? "" : ",") + "('" + kind + "', '" + code + "', 'Operação " + code + "')";
        }
        db.execute("INSERT INTO TIPOOPERAC VALUES " + rows);
    }
    ~LookupDb() {
        if (!schema_.empty()) lib::Database(base_).execute("DROP SCHEMA " + schema_ + " CASCADE");
        if (!file_.empty()) std::filesystem::remove(file_);
    }
    const std::string& url() const { return url_; }

private:
    std::string base_, schema_, url_;
    std::filesystem::path file_;
};

// The same query's Open through a dedicated session (each screen kept its own) and through the
// process's pool (borrowed for the Open, given back at once).
enum class Source { Dedicated, Pool };

template <class Body> void withSource(benchmark::State& state, lib::Dialect dialect, Source source, Body body) {
    LookupDb data(dialect);
    if (source == Source::Dedicated) {
        lib::Database db(data.url());
        body(state, db);
    } else {
        lib::SessionPool pool(data.url(), lib::PoolOptions{});
        body(state, pool);
        state.counters["sessions"] = static_cast<double>(pool.stats().opened);
        state.counters["prepares"] = static_cast<double>(pool.stats().prepares);
    }
}

// The duplicate-code check: close, two parameters, open, IsEmpty.
void duplicateCodeCheck(benchmark::State& state, lib::SessionSource& source) {
    lib::TADOIBQuery q(source, "qryVdTipoOper");
    q.setSQL({"SELECT", "   CDTIPOOPER", "FROM", "   TIPOOPERAC", "WHERE",
              "   CDTIPOOPER = :P_CDTIPOOPER AND", "   IDENTRSAIDOP = :P_IDENTRSAID"});
    int i = 0;
    for (auto _ : state) {
        q.Close();
        q.ParamByName("P_CDTIPOOPER").AsString = Consiste::Ajusta(std::to_string(i++ % 100), 2);
        q.ParamByName("P_IDENTRSAID").AsString = "E";
        q.Open();
        benchmark::DoNotOptimize(q.IsEmpty());
    }
}

// The origin-document search: every operation type, four fields in declared order.
void originDocumentSearch(benchmark::State& state, lib::SessionSource& source) {
    lib::TADOIBQuery q(source, "qryPesqDocOrigem");
    q.setSQL_ORACLE(
        {"SELECT IDENTRSAIDOP, CDTIPOOPER, NMTIPOOPER, (IDENTRSAIDOP||'-'||CDTIPOOPER) AS OPERACAO",
         "FROM TIPOOPERAC ORDER BY IDENTRSAIDOP, CDTIPOOPER"});
    q.addField("OPERACAO", 4);
    q.addField("CDTIPOOPER", 2, "Código");
    q.addField("NMTIPOOPER", 30, "Nome");
    q.addField("IDENTRSAIDOP", 1, "E/S");
    for (auto _ : state) {
        q.Close();
        q.Open();
        benchmark::DoNotOptimize(q.rows().rows.size());
    }
}

// What the pool adds to an Open by itself: one borrow and one give-back, without a query.
void borrowAndGiveBack(benchmark::State& state, lib::SessionSource& source) {
    for (auto _ : state) {
        auto lease = source.borrow();
        benchmark::DoNotOptimize(&lease.database());
    }
}

void registerLookups(lib::Dialect dialect) {
    const std::string db = lib::toString(dialect);
    for (auto [source, name] : {std::pair{Source::Dedicated, "Dedicated"}, std::pair{Source::Pool, "Pool"}}) {
        benchmark::RegisterBenchmark(("BM_DuplicateCodeCheck/" + db + "/" + name).c_str(),
                                     [=](benchmark::State& state) {
                                         withSource(state, dialect, source, duplicateCodeCheck);
                                     });
        benchmark::RegisterBenchmark(("BM_OriginDocumentSearch/" + db + "/" + name).c_str(),
                                     [=](benchmark::State& state) {
                                         withSource(state, dialect, source, originDocumentSearch);
                                     });
        if (dialect == lib::Dialect::SQLite)
            benchmark::RegisterBenchmark(("BM_BorrowAndGiveBack/" + std::string(name)).c_str(),
                                         [=](benchmark::State& state) {
                                             withSource(state, dialect, source, borrowAndGiveBack);
                                         });
    }
}

} // namespace

int main(int argc, char** argv) {
    registerLookups(lib::Dialect::SQLite);
    if (const char* pg = std::getenv("TIPOPER_TEST_PG"); pg && *pg) registerLookups(lib::Dialect::PostgreSQL);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
