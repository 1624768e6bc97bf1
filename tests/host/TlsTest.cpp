// The host over TLS, with a self-signed certificate made for the test.

#include "HttpFixture.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace hosttest {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

// Writes a fresh P-256 key and a certificate for CN=127.0.0.1 signed by it, valid for a day.
void makeSelfSigned(const fs::path& certFile, const fs::path& keyFile) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    ASSERT_NE(key, nullptr);
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                               -1, 0);
    X509_set_issuer_name(cert, name);
    ASSERT_GT(X509_sign(cert, key, EVP_sha256()), 0);
    FILE* out = std::fopen(certFile.c_str(), "w");
    PEM_write_X509(out, cert);
    std::fclose(out);
    out = std::fopen(keyFile.c_str(), "w");
    PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(out);
    X509_free(cert);
    EVP_PKEY_free(key);
}

class TlsFixture : public HttpFixture {
protected:
    void SetUp() override {
        HttpFixture::SetUp();
        cert = base / "cert.pem";
        key = base / "key.pem";
        makeSelfSigned(cert, key);
        host::HttpOptions options;
        options.tlsCertificate = cert.string();
        options.tlsKey = key.string();
        restart(options);
    }

    // One request over TLS, trusting only the test's certificate.
    http::response<http::string_body> request(http::verb method, const std::string& target) {
        net::io_context io;
        ssl::context context(ssl::context::tls_client);
        context.load_verify_file(cert.string());
        context.set_verify_mode(ssl::verify_peer);
        beast::ssl_stream<beast::tcp_stream> stream(io, context);
        beast::get_lowest_layer(stream).connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
        stream.handshake(ssl::stream_base::client);
        http::request<http::string_body> req(method, target, 11);
        req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        req.set(http::field::origin, "https://127.0.0.1:" + std::to_string(port));
        req.set(http::field::authorization, "Bearer " + kTestToken);
        req.prepare_payload();
        http::write(stream, req);
        beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(stream, buffer, res);
        return res;
    }

    fs::path cert, key;
};

TEST_F(TlsFixture, ServesTheApiAndFilesOverTls) {
    EXPECT_TRUE(server->secure());
    // The request's own origin is https: the browser's Origin header says so and must pass.
    const auto created = request(http::verb::post, "/api/sessions");
    EXPECT_EQ(created.result_int(), 201) << created.body();
    const auto page = request(http::verb::get, "/app.js");
    EXPECT_EQ(page.result_int(), 200);
    EXPECT_EQ(page.body(), "console.log('ok');");
    EXPECT_EQ(page["Content-Security-Policy"], host::kContentSecurityPolicy);
}

TEST_F(TlsFixture, PlainHttpGetsNoAnswer) {
    RawConnection plain(port);
    ASSERT_TRUE(plain.send("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_EQ(plain.read().status, 0);
    EXPECT_EQ(registry->size(), 0u);
}

TEST_F(TlsFixture, UnusableKeyOrCertificateStopsTheStart) {
    writeFile(base / "other.pem", "não é um certificado");
    struct Case {
        std::string certificate, key;
    };
    for (const auto& c : {Case{cert.string(), ""}, Case{"", key.string()}, Case{(base / "none.pem").string(), key.string()},
                          Case{(base / "other.pem").string(), key.string()}, Case{cert.string(), (base / "other.pem").string()}}) {
        host::HttpOptions options;
        options.tlsCertificate = c.certificate;
        options.tlsKey = c.key;
        EXPECT_THROW(host::HttpServer(*api, files.get(), options), std::runtime_error) << c.certificate << " " << c.key;
    }
}

} // namespace
} // namespace hosttest
