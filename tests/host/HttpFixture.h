#pragma once

// A host serving the test screen over HTTP on a free loopback port, with a small web folder (and a file
// outside it that must never be served).

#include "HostFixture.h"
#include "RawHttp.h"
#include "host/HttpServer.h"
#include "host/StaticFiles.h"

#include <filesystem>
#include <fstream>
#include <httplib.h>

namespace hosttest {

namespace fs = std::filesystem;

inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Sends one raw request line, so that no client library normalizes the path; returns the status.
inline int rawStatus(int port, const std::string& target, const std::string& method = "GET") {
    RawConnection connection(port);
    if (!connection.send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                         (method == "GET" ? "" : "Content-Length: 0\r\n") + "\r\n"))
        return -1;
    const int status = connection.read().status;
    return status == 0 ? -1 : status;
}

class HttpFixture : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        base = fs::temp_directory_path() / ("tipoper-host-test-" + std::to_string(::getpid()));
        fs::remove_all(base);
        writeFile(base / "web/index.html", "<!doctype html><title>Tela</title>");
        writeFile(base / "web/app.js", "console.log('ok');");
        writeFile(base / "web/sub/page.css", "body{}");
        writeFile(base / "web/.hidden", "segredo");
        writeFile(base / "secret.txt", "segredo");
        writeFile(base / "definition.json", R"({"form":{}})");
        fs::create_symlink(base / "secret.txt", base / "web/link.txt");
        writeFile(base / "web/big.js", bigScript());
        files = std::make_unique<host::StaticFiles>(base / "web");
        files->alias("/definition.json", base / "definition.json");
        host::HttpOptions options;
        options.threads = 96;
        restart(options);
    }
    // Serves again with these options (the port is always a free one).
    void restart(host::HttpOptions options) {
        client.reset();
        server.reset();
        options.port = 0;
        server = std::make_unique<host::HttpServer>(*api, files.get(), options);
        port = server->start();
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_tcp_nodelay(true);
        client->set_keep_alive(true);
        client->set_bearer_token_auth(kTestToken);
    }
    static std::string bigScript() {
        std::string text;
        for (int i = 0; text.size() < 8192; ++i)
            text += "console.log('linha " + std::to_string(i) + "');\n";
        return text;
    }
    void TearDown() override {
        client.reset();
        server.reset();
        HostFixture::TearDown();
        fs::remove_all(base);
    }

    fs::path base;
    std::unique_ptr<host::StaticFiles> files;
    std::unique_ptr<host::HttpServer> server;
    std::unique_ptr<httplib::Client> client;
    int port = 0;
};

} // namespace hosttest
