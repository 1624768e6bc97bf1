// Users, logins, tokens and roles: the user commands, Login and connect, what each role may do, and
// credentials that stop holding while connections are open.

#include "Fixture.h"
#include "wire/Rpc.h"

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

using harness::json;
namespace rpc = wire::rpc;

class Auth : public ServerTest {
protected:
    harness::CommandResult user(std::vector<std::string> args, const std::string& input = {}) {
        std::vector<std::string> all{"--db", db_->url(), "user"};
        all.insert(all.end(), args.begin(), args.end());
        return harness::runCommand(all, input);
    }
    // A fresh server with these flags (and demo data) on the same database.
    void restart(std::vector<std::string> flags) {
        server_.reset();
        flags.push_back("--demo");
        start(flags);
    }
    std::string tokenOf(const std::string& name) {
        const auto r = user({"token", name});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    }
    static json connectWith(harness::RpcClient& c, const char* kind, const std::string& secret) {
        return c.call("connect", {{"server", "Ger06600.rdmTipOper"}, {kind, secret}});
    }
    int linesOf05S(harness::RpcClient& c) {
        return static_cast<int>(ok(c.call("GetMensTipoOper", {"05", "S"}))["rows"].size());
    }
};
TIPOPER_ALL_BACKENDS(Auth);

TEST_P(Auth, UserCommandsAdministerUsersForScripts) {
    struct Step {
        std::vector<std::string> args;
        std::string input;
        int status;
        const char* says; // on standard error
    };
    const std::vector<Step> steps = {
        {{"add", "maria", "--role", "manutencao"}, "senha-da-maria\n", 0, "criado"},
        {{"add", "maria", "--role", "consulta"}, "outra-senha\n", 1, "já existe"},
        {{"add", "joao", "--role", "consulta"}, "curta\n", 2, "ao menos 8"},
        {{"add", "joao", "--role", "consulta"}, "", 2, "Nenhuma senha"},
        {{"add", "Joao", "--role", "consulta"}, "senha-longa\n", 2, "inválido"},
        {{"add", "joao", "--role", "chefe"}, "senha-longa\n", 2, "Papel desconhecido"},
        {{"add", "robo", "--role", "consulta", "--no-password"}, "", 0, "sem senha"},
        {{"role", "robo", "manutencao"}, "", 0, "manutencao"},
        {{"role", "ninguem", "admin"}, "", 1, "não encontrado"},
        {{"disable", "ninguem"}, "", 1, "não encontrado"},
        {{"revoke", "robo"}, "", 0, "0 tokens revogados"},
        {{"password", "maria"}, "nova-senha-maria\r\n", 0, "alterada"},
        {{"frobnicate", "maria"}, "", 2, "opção inválida"},
    };
    for (const auto& s : steps) {
        const auto r = user(s.args, s.input);
        SCOPED_TRACE(::testing::PrintToString(s.args));
        EXPECT_EQ(r.status, s.status) << r.err;
        EXPECT_NE(r.err.find(s.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << "standard output carries only what scripts read";
    }
    const std::string token = tokenOf("robo");
    EXPECT_TRUE(std::regex_match(token, std::regex("[A-Za-z0-9_-]{43}"))) << token;
    EXPECT_NE(tokenOf("robo"), token) << "each call makes a new token";
    EXPECT_EQ(user({"list"}).out, "manutencao\tmanutencao\tativo\tsem senha\t1\n"
                                  "maria\tmanutencao\tativo\tsenha\t0\n"
                                  "robo\tmanutencao\tativo\tsem senha\t2\n");

    // The new password holds (with its line end removed), the old one no more.
    auto c = std::make_unique<harness::RpcClient>(server_->port());
    EXPECT_EQ(refused(c->login("maria", "senha-da-maria")), rpc::kNotAuthenticated);
    EXPECT_EQ(ok(c->login("maria", "nova-senha-maria"))["role"], "manutencao");

    // Revoking ends every token of the user; disabling ends everything and refuses logins.
    EXPECT_NE(user({"revoke", "robo"}).err.find("2 tokens revogados"), std::string::npos);
    EXPECT_EQ(refused(connectWith(*c, "token", token)), rpc::kNotAuthenticated);
    EXPECT_EQ(user({"disable", "maria"}).status, 0);
    EXPECT_EQ(refused(c->login("maria", "nova-senha-maria")), rpc::kNotAuthenticated);
    EXPECT_EQ(user({"enable", "maria"}).status, 0);
    EXPECT_EQ(ok(c->login("maria", "nova-senha-maria"))["user"], "maria");
}

TEST_P(Auth, LoginGivesATicketThatConnectsAsTheUser) {
    ASSERT_EQ(user({"add", "ana", "--role", "consulta"}, "senha-da-ana\n").status, 0);
    harness::RpcClient c(server_->port());
    const json login = ok(c.login("ana", "senha-da-ana"));
    ASSERT_TRUE(login["ticket"].is_string());
    EXPECT_TRUE(std::regex_match(login["ticket"].get<std::string>(), std::regex("[A-Za-z0-9_-]{43}")));
    EXPECT_EQ(login["user"], "ana");
    EXPECT_EQ(login["role"], "consulta");
    EXPECT_EQ(ok(connectWith(c, "ticket", login["ticket"])),
              (json{{"server", "Ger06600.rdmTipOper"}, {"user", "ana"}, {"role", "consulta"}}));
    EXPECT_EQ(ok(c.call("GetCusto"))["rows"].size(), 5u);
    // Two logins are two tickets.
    harness::RpcClient other(server_->port());
    EXPECT_NE(ok(other.login("ana", "senha-da-ana"))["ticket"], login["ticket"]);
}

TEST_P(Auth, EveryCredentialFaultIsRefusedWithoutSayingWhich) {
    ASSERT_EQ(user({"add", "ana", "--role", "manutencao"}, "senha-da-ana\n").status, 0);
    ASSERT_EQ(user({"add", "robo", "--role", "manutencao", "--no-password"}).status, 0);
    ASSERT_EQ(user({"add", "ex", "--role", "manutencao"}, "senha-do-ex\n").status, 0);
    ASSERT_EQ(user({"disable", "ex"}).status, 0);
    struct Case {
        json params;
        int code;
    };
    const std::string goodTicket = [&] {
        harness::RpcClient c(server_->port());
        return ok(c.login("ana", "senha-da-ana"))["ticket"].get<std::string>();
    }();
    const std::vector<Case> logins = {
        {{{"user", "ana"}, {"password", "senha-errada"}}, rpc::kNotAuthenticated},
        {{{"user", "ninguem"}, {"password", "senha-da-ana"}}, rpc::kNotAuthenticated},
        {{{"user", "Ana"}, {"password", "senha-da-ana"}}, rpc::kNotAuthenticated},
        {{{"user", "robo"}, {"password", ""}}, rpc::kNotAuthenticated}, // no password: tokens only
        {{{"user", "ex"}, {"password", "senha-do-ex"}}, rpc::kNotAuthenticated},
        {{{"user", "ana"}}, rpc::kInvalidParams},
        {{{"user", "ana"}, {"password", 5}}, rpc::kInvalidParams},
        {json::array({"ana", "senha-da-ana"}), rpc::kInvalidParams},
    };
    std::set<std::string> loginMessages;
    for (const auto& k : logins) {
        harness::RpcClient c(server_->port());
        const json answer = c.call("Login", k.params);
        EXPECT_EQ(refused(answer), k.code) << k.params.dump();
        if (k.code == rpc::kNotAuthenticated) loginMessages.insert(answer["error"]["message"]);
    }
    EXPECT_EQ(loginMessages, (std::set<std::string>{"Usuário ou senha inválidos."}));

    const std::vector<Case> connects = {
        {{{"server", "Ger06600.rdmTipOper"}}, rpc::kNotAuthenticated},
        {{{"server", "Ger06600.rdmTipOper"}, {"ticket", "x"}}, rpc::kNotAuthenticated},
        {{{"server", "Ger06600.rdmTipOper"}, {"token", goodTicket}}, rpc::kNotAuthenticated}, // a ticket is no token
        {{{"server", "Ger06600.rdmTipOper"}, {"ticket", token()}}, rpc::kNotAuthenticated},   // nor the reverse
        {{{"server", "Ger06600.rdmTipOper"}, {"ticket", ""}}, rpc::kNotAuthenticated},
        {{{"server", "Ger06600.rdmTipOper"}, {"ticket", goodTicket}, {"token", token()}}, rpc::kInvalidParams},
        {{{"server", "Ger06600.rdmTipOper"}, {"token", 7}}, rpc::kInvalidParams},
        {{{"server", "Ger06600.rdmTipOper"}, {"token", std::string(300, 'a')}}, rpc::kInvalidParams},
        {{{"server", "Ger06600.rdmOutro"}, {"ticket", goodTicket}}, rpc::kUnknownServer},
    };
    for (const auto& k : connects) {
        harness::RpcClient c(server_->port());
        const json answer = c.call("connect", k.params);
        EXPECT_EQ(refused(answer), k.code) << k.params.dump();
        EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotConnected) << "nothing but Login and connect before";
    }
}

TEST_P(Auth, ReadOnlyRoleReadsButEveryWriteIsRefused) {
    ASSERT_EQ(user({"add", "leitor", "--role", "consulta", "--no-password"}).status, 0);
    auto reader = clientWith(tokenOf("leitor"));
    auto writer = client();
    const json row = record(*reader, "E", "03");
    ASSERT_TRUE(row.is_object());
    json changed = row;
    changed["NMTIPOOPER"] = "Alterado por quem só consulta";
    const std::string number = harness::records(ok(reader->call("GetMensTipoOper", {"05", "S"})))[0]["NRMENSTPOPER"];
    const std::vector<std::pair<const char*, json>> writes = {
        {"SetTipOper", {harness::changes({harness::modify(row, changed)}), ""}},
        {"SetTipOper", {harness::changes({harness::remove(row)}), ""}},
        {"SetTipOper", {"não é pacote", ""}}, // refused for the role before its arguments are read
        {"SetMensTipOper", {"", "05", "S", "001", "Nova", "C", ""}},
        {"SetMensTipOper", {number, "05", "S", "001", "x", "C", "", json::object()}},
        {"SetMensTipOper", {number, "05", "S", "", "", "D", harness::changes({})}},
    };
    for (const auto& [method, args] : writes) {
        const json answer = reader->call(method, args);
        EXPECT_EQ(refused(answer), rpc::kForbidden) << method << args.dump();
        EXPECT_EQ(answer["error"]["message"], "Usuário sem permissão para alterar tipos de operação.");
    }
    EXPECT_EQ(record(*writer, "E", "03"), row);
    EXPECT_EQ(linesOf05S(*writer), 1);
    // The same change by a user who may write goes through.
    ok(writer->call("SetTipOper", {harness::changes({harness::modify(row, changed)}), ""}));
}

TEST_P(Auth, LiveConnectionsFollowRevocationDisablingAndRoleChanges) {
    restart({"--auth-recheck", "0"});
    ASSERT_EQ(user({"add", "robo", "--role", "manutencao", "--no-password"}).status, 0);
    ASSERT_EQ(user({"add", "ana", "--role", "manutencao"}, "senha-da-ana\n").status, 0);
    auto robo = clientWith(tokenOf("robo"));
    harness::RpcClient ana(server_->port());
    const std::string ticket = ok(ana.login("ana", "senha-da-ana"))["ticket"];
    ok(connectWith(ana, "ticket", ticket));
    EXPECT_EQ(linesOf05S(*robo), 1);

    ASSERT_EQ(user({"role", "ana", "consulta"}).status, 0);
    EXPECT_EQ(refused(ana.call("SetMensTipOper", {"", "05", "S", "009", "x", "C", ""})), rpc::kForbidden);
    EXPECT_EQ(linesOf05S(ana), 1) << "reading still works";

    ASSERT_EQ(user({"revoke", "robo"}).status, 0);
    const json gone = robo->call("GetCusto");
    EXPECT_EQ(refused(gone), rpc::kNotAuthenticated);
    EXPECT_EQ(refused(robo->call("GetCusto")), rpc::kNotAuthenticated) << "and it stays out";
    ok(robo->call("connect", {{"server", "Ger06600.rdmTipOper"}, {"token", tokenOf("robo")}}));
    EXPECT_EQ(linesOf05S(*robo), 1) << "a new token connects again";

    ASSERT_EQ(user({"disable", "ana"}).status, 0);
    EXPECT_EQ(refused(ana.call("GetCusto")), rpc::kNotAuthenticated);
    EXPECT_EQ(refused(connectWith(ana, "ticket", ticket)), rpc::kNotAuthenticated);
}

TEST_P(Auth, TicketsExpireWhenIdleAndUseKeepsThemAlive) {
    restart({"--ticket-idle", "2", "--auth-recheck", "0"});
    ASSERT_EQ(user({"add", "ana", "--role", "manutencao"}, "senha-da-ana\n").status, 0);
    harness::RpcClient c(server_->port());
    const std::string ticket = ok(c.login("ana", "senha-da-ana"))["ticket"];
    ok(connectWith(c, "ticket", ticket));
    // Used every second for three seconds: never idle for two.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        ASSERT_EQ(linesOf05S(c), 1) << "call " << i;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    EXPECT_EQ(refused(c.call("GetCusto")), rpc::kNotAuthenticated);
    harness::RpcClient later(server_->port());
    EXPECT_EQ(refused(connectWith(later, "ticket", ticket)), rpc::kNotAuthenticated);

    // Logout ends a ticket at once.
    const std::string second = ok(later.login("ana", "senha-da-ana"))["ticket"];
    ok(later.call("Logout", {{"ticket", second}}));
    EXPECT_EQ(refused(connectWith(later, "ticket", second)), rpc::kNotAuthenticated);
}

TEST_P(Auth, RepeatedFailuresCloseTheConnection) {
    harness::RpcClient c(server_->port());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(refused(c.login("ninguem", "senha-qualquer")), rpc::kNotAuthenticated);
    EXPECT_EQ(refused(connectWith(c, "token", "falso")), rpc::kNotAuthenticated);
    try {
        c.call("GetCusto");
        ADD_FAILURE() << "the fifth failure ends the connection";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "conexão fechada pelo servidor") << "closed, not left hanging";
    }
    // Another connection is not affected.
    auto other = client();
    EXPECT_EQ(ok(other->call("GetCusto"))["rows"].size(), 5u);
}

TEST_P(Auth, SecretsNeverReachTheLogOrTheTrace) {
    const auto trace = db_->dir() / "trace.jsonl";
    restart({"--trace", trace.string(), "--log-level", "trace"});
    ASSERT_EQ(user({"add", "ana", "--role", "manutencao"}, "senha-da-ana\n").status, 0);
    std::string ticket;
    {
        harness::RpcClient c(server_->port());
        EXPECT_EQ(refused(c.login("ana", "senha-errada-123")), rpc::kNotAuthenticated);
        ticket = ok(c.login("ana", "senha-da-ana"))["ticket"];
        ok(connectWith(c, "ticket", ticket));
        ok(c.call("Logout", {{"ticket", ticket}}));
    }
    server_->stop();
    std::ifstream in(trace);
    std::stringstream all;
    all << in.rdbuf();
    const std::string log = server_->log();
    for (const std::string& secret : {std::string("senha-da-ana"), std::string("senha-errada-123"), ticket, token()}) {
        EXPECT_EQ(all.str().find(secret), std::string::npos) << "no trace: " << secret;
        EXPECT_EQ(log.find(secret), std::string::npos) << "no log: " << secret;
    }
    EXPECT_NE(all.str().find(R"("password":"***")"), std::string::npos) << all.str();
    EXPECT_NE(log.find("login de ana"), std::string::npos) << log;
}
