#include "lib/NetConnection.h"

#include "ScriptedDialogs.h"
#include "TinyRpcServer.h"
#include "lib/Consiste.h"
#include "lib/Morvala.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using nlohmann::json;

namespace {

// Configured as the screen configures its connection: the object name, and the address set in
// BeforeConnect from wherever the test points it.
struct Client {
    lib::TNetConnection net;
    int port;
    int beforeConnect = 0;

    explicit Client(int serverPort, bool throwException = true) : port(serverPort) {
        net.setServerName(std::string(wire::rpc::kServerName));
        net.setThrowException(throwException);
        net.BeforeConnect = [this](lib::TNetConnection& sender) {
            ++beforeConnect;
            sender.setHost("127.0.0.1");
            sender.setPort(port);
        };
    }
    json call(const std::string& op, json params = json::array()) {
        return Consiste::CheckResultServ(net.AppServer(op, std::move(params)), true, 0);
    }
    std::string failure(const std::string& op, json params = json::array()) {
        try {
            net.AppServer(op, std::move(params));
        } catch (const lib::ConnectionError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

long countOf(const std::vector<std::string>& calls, const std::string& prefix) {
    return std::count_if(calls.begin(), calls.end(),
                         [&](const std::string& s) { return s.starts_with(prefix); });
}

std::string refused(int port) {
    return "Não foi possível conectar ao servidor de aplicação 127.0.0.1:" + std::to_string(port) +
           ": Connection refused";
}

} // namespace

TEST(NetConnection, HandshakeCallsAndErrorAnswers) {
    TinyRpcServer server;
    Client c(server.port());
    c.net.setConnected(true);
    EXPECT_TRUE(c.net.Connected());
    const json tricky = json::array({"Não\nhá", "aspas \" e \\ barra", ""}); // survives the line framing
    EXPECT_EQ(c.call("echo", tricky), tricky);

    const json error = c.net.AppServer("fail", json::array()); // returned whole, not raised
    EXPECT_EQ(error["error"]["code"], wire::rpc::kConflict);
    EXPECT_EQ(c.call("echo", {1}), json::array({1})); // and the connection stays usable

    const std::size_t size = 3 * 1024 * 1024; // many reads for one answer
    EXPECT_EQ(c.call("big", {size}).get_ref<const std::string&>().size(), size);

    EXPECT_EQ(server.calls().front(), R"(connect:{"server":"Ger06600.rdmTipOper"})");
    EXPECT_EQ(server.calls().size(), 5u);
    EXPECT_EQ(server.connections(), 1);
}

TEST(NetConnection, ReconnectsAfterTheServerClosedAnIdleConnection) {
    TinyRpcServer server;
    Client c(server.port());
    c.net.setConnected(true);
    EXPECT_EQ(c.call("echo", {1}), json::array({1}));
    server.closeIdle();
    EXPECT_EQ(c.call("echo", {2}), json::array({2}));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(c.beforeConnect, 2); // the address is read again
    EXPECT_EQ(countOf(server.calls(), "connect:"), 2);
    EXPECT_EQ(countOf(server.calls(), "echo:[2]"), 1); // sent once, on the new connection
}

// A call whose answer never comes must fail alone: never resent (it may have run), and a late answer
// must not be taken for the next call's.
TEST(NetConnection, LostTimedOutOrGarbledCallsFailAloneAndTheNextCallWorks) {
    TinyRpcServer server;
    Client c(server.port());
    c.net.setConnected(true);
    struct Case {
        const char* op;
        json params;
        const char* message;
    } cases[] = {{"drop", json::array(), "foi encerrada durante a chamada drop"},
                 {"slow", {400}, "não respondeu à chamada slow em 100 ms"},
                 {"garbage", json::array(), "Resposta inválida do servidor de aplicação"},
                 {"wrongid", json::array(), "Resposta inválida do servidor de aplicação"}};
    for (const auto& k : cases) {
        c.net.setReadTimeout(std::chrono::milliseconds(100));
        EXPECT_NE(c.failure(k.op, k.params).find(k.message), std::string::npos) << k.op;
        EXPECT_FALSE(c.net.Connected()) << k.op;
        c.net.setReadTimeout(std::chrono::seconds(5)); // this server serves one client at a time
        EXPECT_EQ(c.call("echo", {k.op}), json::array({k.op})) << k.op;
        EXPECT_EQ(countOf(server.calls(), std::string(k.op) + ":"), 1) << k.op;
    }
}

TEST(NetConnection, RefusedConnectWithoutExceptionsRetriesAtTheNextCall) {
    Client c(TinyRpcServer::freePort(), /*throwException=*/false);
    EXPECT_NO_THROW(c.net.setConnected(true));
    EXPECT_FALSE(c.net.Connected());
    EXPECT_EQ(c.net.lastError(), refused(c.port));
    EXPECT_EQ(c.failure("echo"), refused(c.port));
    // Once the server is up the same screen works without being reopened.
    TinyRpcServer server;
    c.port = server.port();
    EXPECT_EQ(c.call("echo", {"ok"}), json::array({"ok"}));
    EXPECT_TRUE(c.net.Connected());
    EXPECT_EQ(c.net.lastError(), "");
}

TEST(NetConnection, RefusedOrClosedConnectionsRaise) {
    Client refusedClient(TinyRpcServer::freePort(), /*throwException=*/true);
    try {
        refusedClient.net.setConnected(true);
        ADD_FAILURE() << "a refused connect must raise";
    } catch (const lib::ConnectionError& e) {
        EXPECT_EQ(std::string(e.what()), refused(refusedClient.port));
    }
    EXPECT_NE(refusedClient.failure("echo").find("Não há conexão aberta"), std::string::npos);
    EXPECT_EQ(refusedClient.beforeConnect, 1); // a closed connection does not reopen itself

    TinyRpcServer server;
    Client c(server.port());
    c.net.setConnected(true);
    c.net.setConnected(true); // already open: nothing happens
    c.net.setConnected(false);
    EXPECT_NE(c.failure("echo").find("Não há conexão aberta"), std::string::npos);
    EXPECT_EQ(server.calls().size(), 1u); // only the handshake reached the server

    TinyRpcServer other("Outro.rdm");
    Client wrong(other.port());
    EXPECT_THROW(wrong.net.setConnected(true), lib::ConnectionError);
    EXPECT_FALSE(wrong.net.Connected());
}

TEST(NetConnection, BeforeConnectTakesTheAddressFromTheHostConfiguration) {
    TinyRpcServer first, second;
    lib::TNetConnection net;
    net.setServerName(std::string(wire::rpc::kServerName));
    net.BeforeConnect = [](lib::TNetConnection& sender) {
        sender.setHost(Morvala::WebURL());
        sender.setPort(Morvala::WebPort());
    };
    ::setenv("TIPOPER_APPSERVER", ("127.0.0.1:" + std::to_string(first.port())).c_str(), 1);
    net.setConnected(true);
    net.setConnected(false);
    // "localhost" may resolve to ::1 first, where nobody listens: the next address is tried.
    ::setenv("TIPOPER_APPSERVER", ("localhost:" + std::to_string(second.port())).c_str(), 1);
    net.setConnected(true);
    ::unsetenv("TIPOPER_APPSERVER");
    EXPECT_EQ(net.Host(), "localhost");
    EXPECT_EQ(first.connections(), 1);
    EXPECT_EQ(second.connections(), 1);
}

TEST(NetConnection, ConnectCarriesTheClientsCredentialAndAnotherAfterTheServerStopsTakingIt) {
    TinyRpcServer server;
    AppFixture client; // the current client, as the host installs it for a browser session
    Morvala::setClientCredential(client.app, Morvala::Credential{Morvala::Credential::Kind::Ticket, "primeiro"});
    Client c(server.port());
    c.net.setConnected(true);
    // A later login of the same user changes nothing on the open connection...
    Morvala::setClientCredential(client.app, Morvala::Credential{Morvala::Credential::Kind::Token, "segundo"});
    EXPECT_EQ(c.call("echo", {1}), json::array({1}));
    EXPECT_EQ(server.connections(), 1);
    // ...until the server refuses the old one: that answer is the caller's, the next call reconnects.
    const json expired = c.net.AppServer("expire", json::array());
    EXPECT_EQ(expired["error"]["code"], wire::rpc::kNotAuthenticated);
    EXPECT_FALSE(c.net.Connected());
    EXPECT_EQ(c.call("echo", {2}), json::array({2}));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(server.calls(), (std::vector<std::string>{
                                  R"(connect:{"server":"Ger06600.rdmTipOper","ticket":"primeiro"})", "echo:[1]",
                                  "expire:[]", R"(connect:{"server":"Ger06600.rdmTipOper","token":"segundo"})",
                                  "echo:[2]"}));
    Morvala::setClientCredential(client.app, std::nullopt);
}
