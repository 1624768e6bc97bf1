#include "Harness.h"

#include "AppServerToken.h"

#include "Database.h"
#include "DatabaseUrl.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace harness {

namespace fs = std::filesystem;

namespace {

std::string uniqueName(const char* prefix) {
    static std::atomic<int> counter{0};
    std::random_device rd;
    std::ostringstream s;
    s << prefix << ::getpid() << "_" << counter++ << "_" << std::hex << (rd() & 0xFFFFFF);
    return s.str();
}

// In a forked child: becomes the server executable with `args`.
[[noreturn]] void execServer(const std::string& executable, const std::vector<std::string>& args) {
    std::vector<std::string> all{executable.empty() ? std::string(TIPOPER_APPSERVER_BIN) : executable};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::optional<TestDatabase> TestDatabase::create(Backend backend) {
    TestDatabase db;
    db.backend_ = backend;
    db.dir_ = fs::temp_directory_path() / uniqueName("tipoper-app-");
    fs::create_directories(db.dir_);
    db.owner_ = true;
    if (backend == Backend::Sqlite) {
        db.url_ = "sqlite:" + (db.dir_ / "erp.db").string();
        return db;
    }
    const char* pg = std::getenv("TIPOPER_TEST_PG");
    if (!pg || !*pg) return std::nullopt;
    std::string url = pg;
    url += url.find('?') == std::string::npos ? "?schema=" : "&schema=";
    db.url_ = url + uniqueName("t");
    return db;
}

TestDatabase::TestDatabase(TestDatabase&& other) noexcept
    : backend_(other.backend_), url_(std::move(other.url_)), dir_(std::move(other.dir_)),
      owner_(other.owner_) {
    other.owner_ = false;
}

TestDatabase::~TestDatabase() {
    if (!owner_) return;
    if (backend_ == Backend::Postgresql) {
        try {
            const auto url = appserver::parseDatabaseUrl(url_);
            appserver::Database db(url);
            db.exec("DROP SCHEMA IF EXISTS " + url.schema + " CASCADE");
        } catch (...) {
        }
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

ServerProcess::ServerProcess(std::vector<std::string> args, std::string executable) {
    logFile_ = fs::temp_directory_path() / uniqueName("tipoper-app-log-");
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        const int err = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        ::close(out[0]);
        args.insert(args.begin(), {"--port", "0"});
        execServer(executable, args);
    }
    ::close(out[1]);
    // Wait for the banner line; the server prints it once it listens.
    std::string line;
    pollfd pfd{out[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        if (::poll(&pfd, 1, 200) <= 0) continue;
        char buf[256];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    const auto colon = line.rfind(':');
    if (line.find("ouvindo em") == std::string::npos || colon == std::string::npos) {
        kill();
        throw std::runtime_error("o servidor não iniciou: " + log());
    }
    banner_ = line.substr(0, line.find('\n'));
    port_ = std::stoi(line.substr(colon + 1));
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) stop();
    std::error_code ec;
    fs::remove(logFile_, ec);
}

int ServerProcess::stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ServerProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string ServerProcess::log() const {
    return slurp(logFile_);
}

int ServerProcess::runToFailure(std::vector<std::string> args, std::string& log) {
    const fs::path logFile = fs::temp_directory_path() / uniqueName("tipoper-app-fail-");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        execServer({}, args);
    }
    // A server that does start is stopped after a while so the test fails instead of hanging.
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        ::usleep(100'000);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    log = slurp(logFile);
    fs::remove(logFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

CommandResult runCommand(std::vector<std::string> args, const std::string& input) {
    const fs::path out = fs::temp_directory_path() / uniqueName("tipoper-app-cmd-out-");
    const fs::path err = fs::temp_directory_path() / uniqueName("tipoper-app-cmd-err-");
    int in[2];
    if (::pipe(in) != 0) throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::close(in[1]);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        execServer({}, args);
    }
    ::close(in[0]);
    std::string_view left = input;
    while (!left.empty()) {
        const ssize_t n = ::write(in[1], left.data(), left.size());
        if (n <= 0) break;
        left.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(in[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    CommandResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(out);
    result.err = slurp(err);
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(err, ec);
    return result;
}

std::string provisionToken(const std::string& dbUrl, const std::string& user, const std::string& role) {
    return testing_support::appServerToken(TIPOPER_APPSERVER_BIN, dbUrl, user, role);
}

RpcClient::RpcClient(int port, std::string token) : token_(std::move(token)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
    const int yes = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

RpcClient::~RpcClient() {
    close();
}

void RpcClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void RpcClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send falhou");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

json RpcClient::readResponse() {
    return json::parse(readLine());
}

std::string RpcClient::readLine() {
    std::size_t scanned = 0;
    while (true) {
        if (const auto nl = buffer_.find('\n', scanned); nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        scanned = buffer_.size();
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 30'000) <= 0) throw std::runtime_error("sem resposta do servidor em 30 s");
        char buf[65536];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) throw std::runtime_error("conexão fechada pelo servidor");
        buffer_.append(buf, static_cast<std::size_t>(n));
    }
}

json RpcClient::call(const std::string& method, json params) {
    const json request = {
        {"jsonrpc", "2.0"}, {"id", nextId_++}, {"method", method}, {"params", std::move(params)}};
    send(request.dump() + "\n");
    return readResponse();
}

json RpcClient::connect() {
    json params = {{"server", "Ger06600.rdmTipOper"}};
    if (!token_.empty()) params["token"] = token_;
    return call("connect", params);
}

json RpcClient::login(const std::string& user, const std::string& password) {
    return call("Login", {{"user", user}, {"password", password}});
}

std::vector<json> records(const json& packet) {
    std::vector<json> out;
    for (const auto& row : packet.at("rows")) {
        json r = json::object();
        for (std::size_t i = 0; i < row.size(); ++i)
            r[packet["fields"][i]["name"].get<std::string>()] = row[i];
        out.push_back(std::move(r));
    }
    return out;
}

json findRecord(const json& packet, const std::string& field, const std::string& value) {
    for (auto& r : records(packet))
        if (r[field] == value) return r;
    return nullptr;
}

json changes(std::initializer_list<json> list) {
    json array = json::array();
    for (const auto& c : list)
        array.push_back(c);
    return {{"changes", array}};
}
json modify(const json& oldRow, const json& newRow) {
    return {{"op", "modify"}, {"old", oldRow}, {"new", newRow}};
}
json insert(const json& newRow) {
    return {{"op", "insert"}, {"new", newRow}};
}
json remove(const json& oldRow) {
    return {{"op", "delete"}, {"old", oldRow}};
}

} // namespace harness
