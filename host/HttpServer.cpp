#include "HttpServer.h"

#include <chrono>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>

namespace host {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

void sendReply(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_header("Cache-Control", "no-store");
    if (reply.status != 204) res.set_content(reply.body, kJson);
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    sendReply(res, errorReply(status, message));
}

} // namespace

HttpServer::HttpServer(Api& api, const StaticFiles* files, HttpOptions options)
    : api_(api), files_(files), options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
    install();
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::install() {
    auto& svr = *server_;
    const std::size_t threads = options_.threads;
    svr.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    svr.set_tcp_nodelay(true);
    svr.set_keep_alive_max_count(100000);
    svr.set_keep_alive_timeout(options_.keepAliveSeconds);
    svr.set_payload_max_length(options_.maxBodyBytes);
    svr.set_read_timeout(10, 0);
    svr.set_write_timeout(10, 0);
    // SO_REUSEADDR only: a second host on the same port must fail, not share the port.
    svr.set_socket_options([this](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listenFd_ = sock;
    });

    svr.set_default_headers({{"X-Content-Type-Options", "nosniff"}, {"Referrer-Policy", "no-referrer"}});

    // Handlers registered for a method read the body first (and enforce the size limit); a pre-routing
    // handler would see no body.
    auto api = [this](const httplib::Request& req, httplib::Response& res) {
        Request request{req.method,
                        req.path,
                        {req.params.begin(), req.params.end()},
                        {req.headers.begin(), req.headers.end()},
                        req.body};
        sendReply(res, api_.handle(request));
    };
    const char* apiPattern = R"(/api(/.*)?)";
    svr.Get(apiPattern, api);
    svr.Post(apiPattern, api);
    svr.Delete(apiPattern, api);
    svr.Put(apiPattern, api);
    svr.Patch(apiPattern, api);

    svr.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        auto file = files_ ? files_->resolve(req.path) : std::nullopt;
        if (!file) return sendError(res, 404, "Arquivo não encontrado.");
        std::ifstream in(*file, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        res.status = 200;
        res.set_header("Cache-Control", "no-cache");
        res.set_content(content.str(), StaticFiles::contentType(*file));
    });
    auto notAllowed = [](const httplib::Request&, httplib::Response& res) {
        sendError(res, 405, "Método não permitido.");
    };
    svr.Post(".*", notAllowed);
    svr.Delete(".*", notAllowed);
    svr.Put(".*", notAllowed);
    svr.Patch(".*", notAllowed);

    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;
        if (res.status == 413)
            sendError(res, 413, "Requisição grande demais.");
        else if (res.status == 400)
            sendError(res, 400, "Requisição malformada.");
        else
            sendError(res, res.status, "Erro na requisição.");
    });
    svr.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "erro desconhecido";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& ex) {
            what = ex.what();
        } catch (...) {
        }
        spdlog::error("{} {}: {}", req.method, req.path, what);
        sendError(res, 500, "Erro interno do servidor.");
    });
}

int HttpServer::bind() {
    int port = options_.port;
    if (port == 0) {
        port = server_->bind_to_any_port(options_.listen);
        if (port < 0) port = 0;
    } else if (!server_->bind_to_port(options_.listen, port)) {
        port = 0;
    }
    if (port <= 0)
        throw std::runtime_error("não foi possível escutar em " + options_.listen + ":" +
                                 std::to_string(options_.port));
    // The library listens with a backlog of 5; dozens of clients connecting at once would overflow it
    // and each would wait a second to retry. Listening again on the bound socket widens it.
    if (listenFd_ >= 0) ::listen(listenFd_, options_.backlog);
    return port;
}

void HttpServer::run() {
    server_->listen_after_bind();
}

int HttpServer::start() {
    const int port = bind();
    thread_ = std::thread([this] { run(); });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > limit) {
            stop();
            throw std::runtime_error("o servidor HTTP não começou a atender");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return port;
}

void HttpServer::stop() {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
}

} // namespace host
