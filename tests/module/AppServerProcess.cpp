#include "AppServerProcess.h"

#include "AppServerToken.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef TIPOPER_BIN_DIR
#error "TIPOPER_BIN_DIR must name the folder of tipoper-appserver"
#endif

namespace testing_support {

AppServerProcess::AppServerProcess(bool demo, std::string dbPath, int port) : demo_(demo), port_(port) {
    char templ[] = "/tmp/tipoper-test-XXXXXX";
    if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp falhou");
    dir_ = templ;
    dbPath_ = dbPath.empty() ? dir_ + "/erp.db" : std::move(dbPath);
    tracePath_ = dir_ + "/trace.jsonl";
    provision();
    start();
}

std::string AppServerProcess::executable() const {
    // TIPOPER_APPSERVER_EXE names another build of the server (a developer's own build directory).
    const char* override = std::getenv("TIPOPER_APPSERVER_EXE");
    return override && *override ? std::string(override) : std::string(TIPOPER_BIN_DIR) + "/tipoper-appserver";
}


// The test user and a token of it; a database shared with an earlier server already has the user.
void AppServerProcess::provision() {
    token_ = appServerToken(executable(), "sqlite:" + dbPath_);
}

AppServerProcess::~AppServerProcess() {
    stop();
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "não removeu %s\n", dir_.c_str());
}

void AppServerProcess::start() {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe falhou");
    const std::string exe = executable();
    const std::string db = "sqlite:" + dbPath_;
    const std::string portText = std::to_string(port_);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork falhou");
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<const char*> args = {exe.c_str(), "--db", db.c_str(), "--port", portText.c_str(),
                                         "--trace", tracePath_.c_str(), "--log-level", "warn"};
        if (demo_) args.push_back("--demo");
        args.push_back(nullptr);
        execv(exe.c_str(), const_cast<char* const*>(args.data()));
        std::_Exit(127);
    }
    close(out[1]);
    // The server announces its address on its first line.
    std::string line;
    char ch;
    while (read(out[0], &ch, 1) == 1 && ch != '\n') line.push_back(ch);
    close(out[0]);
    const auto colon = line.rfind(':');
    if (line.find("ouvindo em") == std::string::npos || colon == std::string::npos) {
        kill();
        throw std::runtime_error("o servidor de aplicação não iniciou: '" + line + "'");
    }
    port_ = std::stoi(line.substr(colon + 1));
}

void AppServerProcess::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

void AppServerProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

void AppServerProcess::restart() {
    stop();
    demo_ = false;
    start();
}

std::vector<std::string> tracedOperations(const std::string& tracePath) {
    std::vector<std::string> ops;
    std::ifstream in(tracePath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        auto j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_object() && j.contains("operation") && j["operation"].is_string()) ops.push_back(j["operation"].get<std::string>());
    }
    return ops;
}

} // namespace testing_support
