// Costs of the library's hot paths: a server round trip through the connection component against a
// plain loopback TCP round trip, and the small lookups the screens run on leaving an edit.

#include "lib/AdoIbQuery.h"
#include "lib/Consiste.h"
#include "lib/NetConnection.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
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

struct LookupDb {
    lib::Database db{"sqlite::memory:"};
    LookupDb() {
        db.execute("CREATE TABLE TIPOOPERAC (IDENTRSAIDOP VARCHAR(1), CDTIPOOPER VARCHAR(2), NMTIPOOPER "
                   "VARCHAR(30), "
                   "PRIMARY KEY (IDENTRSAIDOP, CDTIPOOPER))");
        for (int i = 0; i < 100; ++i) {
            const std::string code = Consiste::Ajusta(std::to_string(i), 2);
            db.execute("INSERT INTO TIPOOPERAC VALUES ('E', '" + code + "', 'Operação " + code + "')");
            db.execute("INSERT INTO TIPOOPERAC VALUES ('S', '" + code + "', 'Operação " + code + "')");
        }
    }
};

// The duplicate-code check: close, two parameters, open, IsEmpty.
void BM_DuplicateCodeCheck(benchmark::State& state) {
    LookupDb data;
    lib::TADOIBQuery q(data.db, "qryVdTipoOper");
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
BENCHMARK(BM_DuplicateCodeCheck);

// The origin-document search: every operation type, four fields in declared order.
void BM_OriginDocumentSearch(benchmark::State& state) {
    LookupDb data;
    lib::TADOIBQuery q(data.db, "qryPesqDocOrigem");
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
BENCHMARK(BM_OriginDocumentSearch);

} // namespace

BENCHMARK_MAIN();
