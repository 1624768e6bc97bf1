#include "HttpServer.h"

#include "Compression.h"
#include "Refusal.h"
#include "Request.h"
#include "RequestPolicy.h"
#include "WorkerPool.h"

#include <array>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <optional>
#include <spdlog/spdlog.h>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace host {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Response = http::response<http::string_body>;

const char* const kContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; "
    "img-src 'self' data:; connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; "
    "frame-ancestors 'none'";

std::vector<std::string> defaultAllowedHosts(const std::string& listen) {
    return {listen, "localhost", "127.0.0.1"};
}

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";
// Connections past the cap are still accepted to be told 503; this many at most at a time, the rest
// are closed at once.
constexpr std::size_t kRefusingConnections = 64;
// After a refusal the connection is closed; what the client still sends is read and dropped for a
// moment, so that its unread bytes do not make the kernel reset the connection before the client has
// read the refusal.
constexpr std::chrono::milliseconds kLingerTime{1000};
constexpr std::size_t kLingerBytes = 1024 * 1024;
// What the read buffer may hold beyond a head: a body is consumed as it is read, so only a chunk's
// size line or the trailers could grow without end, and this bounds them.
constexpr std::size_t kReadAhead = 16 * 1024;

std::string_view view(beast::string_view text) {
    return {text.data(), text.size()};
}

bool isApiPath(std::string_view path) {
    return path == "/api" || path.rfind("/api/", 0) == 0;
}

void addSecurityHeaders(Response& res) {
    res.set("Content-Security-Policy", kContentSecurityPolicy);
    res.set("X-Content-Type-Options", "nosniff");
    res.set("X-Frame-Options", "DENY");
    // Not "no-referrer": under it a browser sends "Origin: null" even on this page's own requests,
    // which the Origin check refuses.
    res.set("Referrer-Policy", "same-origin");
}

Response jsonResponse(Reply reply, bool gzipAccepted) {
    Response res;
    res.result(static_cast<unsigned>(reply.status));
    res.set(http::field::cache_control, "no-store");
    for (auto& [name, value] : reply.headers)
        res.insert(name, value);
    if (reply.status == 204 || reply.status == 304) return res;
    res.set(http::field::content_type, kJson);
    res.set(http::field::vary, "Accept-Encoding");
    if (gzipAccepted && reply.body.size() >= kMinCompressedBytes) {
        res.set(http::field::content_encoding, "gzip");
        res.body() = gzip(reply.body);
    } else {
        res.body() = std::move(reply.body);
    }
    return res;
}

bool gzipAccepted(const Request& request) {
    const auto value = request.header("Accept-Encoding");
    return value && acceptsGzip(*value);
}

} // namespace

struct HttpServer::Impl {
    Impl(Api& api_, const StaticFiles* files_, HttpOptions options_)
        : api(api_), files(files_), options(std::move(options_)),
          policy(options.allowedHosts.empty() ? defaultAllowedHosts(options.listen) : options.allowedHosts, api.csrf()),
          acceptor(ioc), acceptRetry(ioc), workers(options.threads) {
        if (!options.tlsCertificate.empty() || !options.tlsKey.empty()) {
            if (options.tlsCertificate.empty() || options.tlsKey.empty())
                throw std::runtime_error("TLS pede o certificado e a chave privada");
            tls.emplace(ssl::context::tls_server);
            tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                             ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::no_compression);
            try {
                tls->use_certificate_chain_file(options.tlsCertificate);
            } catch (const std::exception&) {
                throw std::runtime_error("certificado TLS inválido ou ilegível: " + options.tlsCertificate);
            }
            try {
                tls->use_private_key_file(options.tlsKey, ssl::context::pem);
            } catch (const std::exception&) {
                throw std::runtime_error("chave TLS inválida, ilegível ou de outro certificado: " + options.tlsKey);
            }
        }
    }

    void accept();
    void onAccept(beast::error_code ec, tcp::socket socket);
    Response serveStatic(const Request& request) const;
    Response serveApi(const Request& request) const;

    Api& api;
    const StaticFiles* files;
    const HttpOptions options;
    const RequestPolicy policy;
    std::optional<ssl::context> tls;
    std::atomic<std::size_t> active{0};   // connections being served
    std::atomic<std::size_t> refusing{0}; // connections being told 503
    // The I/O context outlives the workers (declared before them): a worker finishing a call posts
    // its answer to the connection's strand.
    net::io_context ioc;
    tcp::acceptor acceptor;
    net::steady_timer acceptRetry;
    WorkerPool workers;
    std::vector<std::thread> ioThreads;
    std::thread runner; // the thread of start()
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{false};
};

namespace {

template <class Stream> class Connection : public std::enable_shared_from_this<Connection<Stream>> {
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

public:
    Connection(HttpServer::Impl& server, tcp::socket socket, bool refuse)
        : server_(server), stream_(makeStream(server, std::move(socket))), deadline_(stream_.get_executor()),
          refuse_(refuse), buffer_(server.options.maxHeaderBytes + kReadAhead) {}
    ~Connection() { --(refuse_ ? server_.refusing : server_.active); }

    void start() {
        if constexpr (kTls) {
            lowest().expires_after(server_.options.requestTimeout);
            stream_.async_handshake(ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code ec) {
                                        if (ec) return self->close();
                                        self->begin();
                                    });
        } else {
            begin();
        }
    }

private:
    static Stream makeStream(HttpServer::Impl& server, tcp::socket socket) {
        if constexpr (kTls)
            return Stream(std::move(socket), *server.tls);
        else
            return Stream(std::move(socket));
    }

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

    void begin() {
        beast::error_code peerError;
        const auto peer = lowest().socket().remote_endpoint(peerError);
        if (!peerError) remote_ = peer.address().to_string();
        if constexpr (!kTls) {
            // A worker's write must never block on a client that does not read.
            beast::error_code ignored;
            lowest().socket().non_blocking(true, ignored);
        }
        if (refuse_) return refuse(refusal::tooManyConnections());
        waitForRequest();
    }

    // An idle connection holds no buffer: the first byte of the next request is read alone, under the
    // keep-alive time limit; the head then has its own limit.
    void waitForRequest() {
        if (buffer_.size() > 0) return readHead();
        lowest().expires_after(server_.options.keepAliveTimeout);
        stream_.async_read_some(net::buffer(&first_, 1),
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                                    if (ec || n != 1) return self->close(); // idle too long or gone
                                    self->buffer_.commit(
                                        net::buffer_copy(self->buffer_.prepare(1), net::buffer(&self->first_, 1)));
                                    self->readHead();
                                });
    }

    void readHead() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.options.maxHeaderBytes));
        parser_->body_limit(server_.options.maxBodyBytes);
        armDeadline();
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                    self->disarmDeadline();
                                    self->onHead(ec);
                                });
    }

    // The stream's own time limit closes the socket when it strikes; a slow request is told 408
    // instead, so its reads are bounded by a timer that only cancels them.
    void armDeadline() {
        lowest().expires_never();
        deadline_.expires_after(server_.options.requestTimeout);
        deadline_.async_wait([self = this->shared_from_this(), armed = ++deadlineArmed_](beast::error_code ec) {
            if (ec || armed != self->deadlineArmed_) return;
            self->timedOut_ = true;
            self->lowest().cancel();
        });
    }
    void disarmDeadline() {
        ++deadlineArmed_;
        deadline_.cancel();
    }

    void onHead(beast::error_code ec) {
        if (ec) return onReadError(ec);
        auto& message = parser_->get();
        request_ = Request{};
        request_.method = std::string(view(message.method_string()));
        request_.secure = kTls;
        request_.remote = remote_;
        version_ = message.version();
        keepAlive_ = parser_->keep_alive();
        if (!splitTarget(view(message.target()), request_)) return refuse(refusal::badRequest());
        for (const auto& field : message)
            request_.headers.emplace_back(view(field.name_string()), view(field.value()));
        // A body framed two ways is how requests are smuggled past other servers: refuse it outright.
        const auto transfer = request_.header("Transfer-Encoding");
        if (transfer && (!parser_->chunked() || request_.header("Content-Length")))
            return refuse(refusal::badRequest());
        const auto length = parser_->content_length();
        const bool hasBody = parser_->chunked() || (length && *length > 0);
        if (auto refused = server_.policy.check(request_, hasBody)) return refuse(*refused);
        if (!hasBody) return dispatch();
        const auto expect = request_.header("Expect");
        if (expect && equalsIgnoreCase(*expect, "100-continue")) {
            auto go = std::make_shared<http::response<http::empty_body>>(http::status::continue_, version_);
            lowest().expires_after(server_.options.writeTimeout);
            return http::async_write(stream_, *go,
                                     [self = this->shared_from_this(), go](beast::error_code writeError, std::size_t) {
                                         if (writeError) return self->close();
                                         self->readBody();
                                     });
        }
        readBody();
    }

    void readBody() {
        armDeadline();
        http::async_read(stream_, buffer_, *parser_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
            self->disarmDeadline();
            if (ec) return self->onReadError(ec);
            self->request_.body = std::move(self->parser_->get().body());
            self->dispatch();
        });
    }

    void onReadError(beast::error_code ec) {
        if (timedOut_) {
            // A TLS stream whose read was cut short mid-record cannot be trusted to write.
            if constexpr (kTls) return close();
            return refuse(refusal::requestTimeout());
        }
        if (ec == http::error::end_of_stream || ec == net::error::eof || ec == net::error::connection_reset ||
            ec == net::error::operation_aborted)
            return close();
        if (ec == http::error::header_limit) return refuse(refusal::headersTooLarge(server_.options.maxHeaderBytes));
        if (ec == http::error::body_limit) return refuse(refusal::bodyTooLarge(server_.options.maxBodyBytes));
        if (ec.category() == net::error::get_ssl_category() || ec == net::ssl::error::stream_truncated) return close();
        spdlog::debug("requisição HTTP malformada: {}", ec.message());
        refuse(refusal::badRequest());
    }

    void dispatch() {
        parser_.reset();
        if (!isApiPath(request_.path)) return send(server_.serveStatic(request_));
        auto self = this->shared_from_this();
        const bool queued = server_.workers.post([self] {
            // Nothing else touches the connection until the answer is out: the worker may prepare it
            // and, over plain TCP, send what the socket takes at once, so the client does not wait
            // for a network thread to wake up first.
            self->prepare(self->server_.serveApi(self->request_));
            std::size_t sent = 0;
            beast::error_code ec;
            if constexpr (!kTls) {
                sent = self->lowest().socket().write_some(self->wire(0), ec);
                if (ec == net::error::would_block || ec == net::error::try_again) ec = {};
            }
            net::post(self->stream_.get_executor(), [self, sent, ec] {
                if (ec) return self->close();
                self->write(sent);
            });
        });
        if (!queued) close();
    }

    void refuse(const Refusal& refusal) {
        spdlog::debug("requisição recusada: {} {}", refusal.status, refusal.code);
        parser_.reset();
        keepAlive_ = false;
        send(jsonResponse(refusalReply(refusal), false));
    }

    void send(Response res) {
        prepare(std::move(res));
        write(0);
    }

    // The answer as it goes on the wire: head_ then body_.
    void prepare(Response res) {
        res.version(version_);
        addSecurityHeaders(res);
        res.keep_alive(keepAlive_);
        if (request_.method == "HEAD") {
            // The head of the GET answer, without its body.
            const auto size = res.body().size();
            res.body().clear();
            res.content_length(size);
        } else {
            res.prepare_payload();
        }
        std::ostringstream out;
        out << res.base();
        head_ = std::move(out).str();
        body_ = std::move(res.body());
    }

    std::array<net::const_buffer, 2> wire(std::size_t offset) const {
        const std::size_t inHead = std::min(offset, head_.size());
        const std::size_t inBody = offset - inHead;
        return {net::buffer(head_.data() + inHead, head_.size() - inHead),
                net::buffer(body_.data() + inBody, body_.size() - inBody)};
    }

    // Writes the answer from `offset` on.
    void write(std::size_t offset) {
        if (offset >= head_.size() + body_.size()) return onWritten({});
        lowest().expires_after(server_.options.writeTimeout);
        net::async_write(stream_, wire(offset),
                         [self = this->shared_from_this()](beast::error_code ec, std::size_t) { self->onWritten(ec); });
    }

    void onWritten(beast::error_code ec) {
        if (ec) return close();
        if (!keepAlive_) return linger();
        head_ = {};
        body_ = {};
        request_ = {};
        if (buffer_.size() == 0) buffer_.shrink_to_fit(); // an idle connection keeps no buffer
        waitForRequest();
    }

    // Ends the connection in order: our side first, then the client's remaining bytes are read and
    // dropped for a moment, so the answer is not lost to a reset.
    void linger() {
        if constexpr (kTls) {
            lowest().expires_after(kLingerTime);
            stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) { self->close(); });
        } else {
            beast::error_code ignored;
            lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
            lowest().expires_after(kLingerTime);
            drain();
        }
    }

    void drain() {
        buffer_.clear();
        lowest().async_read_some(buffer_.prepare(kReadAhead), [self = this->shared_from_this()](
                                                                  beast::error_code ec, std::size_t n) {
            self->drained_ += n;
            if (ec || self->drained_ > kLingerBytes) return self->close();
            self->drain();
        });
    }

    void close() {
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    HttpServer::Impl& server_;
    Stream stream_;
    net::steady_timer deadline_;
    unsigned deadlineArmed_ = 0;
    bool timedOut_ = false;
    const bool refuse_;
    char first_ = 0;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    Request request_;
    std::string head_, body_;
    unsigned version_ = 11;
    bool keepAlive_ = true;
    std::size_t drained_ = 0;
    std::string remote_;
};

} // namespace

void HttpServer::Impl::accept() {
    acceptor.async_accept(net::make_strand(ioc), [this](beast::error_code ec, tcp::socket socket) {
        onAccept(ec, std::move(socket));
    });
}

void HttpServer::Impl::onAccept(beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor.is_open()) return;
    if (ec) {
        // Out of descriptors or memory: pause instead of spinning on the same failure.
        spdlog::warn("falha ao aceitar conexão: {}", ec.message());
        acceptRetry.expires_after(std::chrono::milliseconds(100));
        acceptRetry.async_wait([this](beast::error_code waitError) {
            if (!waitError) accept();
        });
        return;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    bool refuse = false;
    if (++active > options.maxConnections) {
        --active;
        if (++refusing > kRefusingConnections) {
            --refusing;
            socket.close(ignored);
            return accept();
        }
        refuse = true;
    }
    if (tls)
        std::make_shared<Connection<beast::ssl_stream<beast::tcp_stream>>>(*this, std::move(socket), refuse)->start();
    else
        std::make_shared<Connection<beast::tcp_stream>>(*this, std::move(socket), refuse)->start();
    accept();
}

Response HttpServer::Impl::serveStatic(const Request& request) const {
    if (request.method != "GET" && request.method != "HEAD") {
        Response res = jsonResponse(refusalReply(refusal::methodNotAllowed()), false);
        res.set(http::field::allow, "GET, HEAD");
        return res;
    }
    // The screen's page is for users who logged in: a browser without the login cookie goes to the login
    // page first. (A cookie that no longer holds is found out by the page's first API call.)
    if ((request.path == "/" || request.path == "/index.html") && !cookieValue(request, kLoginCookie) &&
        !request.header("Authorization")) {
        Response res;
        res.result(http::status::see_other);
        res.set(http::field::location, "/login.html");
        res.set(http::field::cache_control, "no-store");
        return res;
    }
    auto file = files ? files->resolve(request.path) : std::nullopt;
    auto content = file ? files->load(*file) : nullptr;
    if (!content) return jsonResponse(refusalReply(refusal::notFound()), false);
    Response res;
    res.result(http::status::ok);
    res.set(http::field::content_type, content->type);
    res.set(http::field::cache_control, "no-cache");
    if (!content->gzipped.empty()) {
        res.set(http::field::vary, "Accept-Encoding");
        if (gzipAccepted(request)) {
            res.set(http::field::content_encoding, "gzip");
            res.body() = content->gzipped;
            return res;
        }
    }
    res.body() = content->raw;
    return res;
}

Response HttpServer::Impl::serveApi(const Request& request) const {
    try {
        return jsonResponse(api.handle(request), gzipAccepted(request));
    } catch (const std::exception& ex) {
        spdlog::error("{} {}: {}", request.method, request.path, ex.what());
    } catch (...) {
        spdlog::error("{} {}: erro desconhecido", request.method, request.path);
    }
    return jsonResponse(refusalReply(refusal::internalError()), false);
}

HttpServer::HttpServer(Api& api, const StaticFiles* files, HttpOptions options)
    : impl_(std::make_unique<Impl>(api, files, std::move(options))) {}

HttpServer::~HttpServer() {
    stop();
    impl_->workers.stop();
}

int HttpServer::bind() {
    auto& d = *impl_;
    const std::string where = d.options.listen + ":" + std::to_string(d.options.port);
    try {
        tcp::resolver resolver(d.ioc);
        const auto endpoint = resolver
                                  .resolve(d.options.listen, std::to_string(d.options.port),
                                           tcp::resolver::passive | tcp::resolver::numeric_service)
                                  .begin()
                                  ->endpoint();
        d.acceptor.open(endpoint.protocol());
        // SO_REUSEADDR only: a second host on the same port must fail, not share the port.
        d.acceptor.set_option(net::socket_base::reuse_address(true));
        d.acceptor.bind(endpoint);
        d.acceptor.listen(d.options.backlog);
        return d.acceptor.local_endpoint().port();
    } catch (const std::exception&) {
        beast::error_code ignored;
        d.acceptor.close(ignored);
        throw std::runtime_error("não foi possível escutar em " + where);
    }
}

void HttpServer::run() {
    auto& d = *impl_;
    if (d.stopped) return;
    d.accept();
    for (std::size_t i = 1; i < std::max<std::size_t>(d.options.ioThreads, 1); ++i)
        d.ioThreads.emplace_back([&d] { d.ioc.run(); });
    d.running = true;
    d.ioc.run();
    for (auto& thread : d.ioThreads)
        thread.join();
    d.ioThreads.clear();
}

int HttpServer::start() {
    const int port = bind();
    impl_->runner = std::thread([this] { run(); });
    while (!impl_->running)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port;
}

void HttpServer::stop() {
    auto& d = *impl_;
    if (!d.stopped.exchange(true)) {
        if (d.running) {
            // The acceptor belongs to the network threads: close it there, so no connection waits in
            // the listen queue of a host that has stopped serving.
            net::post(d.ioc, [&d] {
                beast::error_code ignored;
                d.acceptor.close(ignored);
                d.acceptRetry.cancel();
                d.ioc.stop();
            });
        } else {
            d.ioc.stop();
        }
    }
    if (d.runner.joinable() && d.runner.get_id() != std::this_thread::get_id()) d.runner.join();
}

bool HttpServer::secure() const {
    return impl_->tls.has_value();
}

std::size_t HttpServer::openConnections() const {
    return impl_->active.load();
}

} // namespace host
