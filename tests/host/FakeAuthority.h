#pragma once

// An application server's users as the host's tests need them: a few users with passwords, roles,
// tickets and tokens in memory, counting every question the host asks. Tickets and tokens have the
// server's shape (43 URL-safe characters).

#include "ApiRequest.h"
#include "host/CredentialAuthority.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace hosttest {

class FakeAuthority final : public host::CredentialAuthority {
public:
    FakeAuthority() {
        addUser("teste", "manutencao", "senha-correta");
        addToken("teste", kTestToken);
    }

    void addUser(const std::string& name, const std::string& role, const std::string& password) {
        std::lock_guard lock(mutex_);
        users_[name] = {role, password};
    }
    void addToken(const std::string& user, const std::string& token) {
        std::lock_guard lock(mutex_);
        secrets_[token] = {user, host::Credential::Kind::Token};
    }
    void revoke(const std::string& secret) {
        std::lock_guard lock(mutex_);
        secrets_.erase(secret);
    }
    void setRole(const std::string& user, const std::string& role) {
        std::lock_guard lock(mutex_);
        users_[user].role = role;
    }
    void setAvailable(bool on) { available_ = on; }

    host::AuthAnswer login(const std::string& user, const std::string& password) override {
        ++logins;
        if (!available_) return {};
        std::lock_guard lock(mutex_);
        auto it = users_.find(user);
        if (it == users_.end() || it->second.password != password) return refused();
        std::string ticket = "ticket" + std::to_string(++issued_);
        ticket.resize(43, 'x');
        secrets_[ticket] = {user, host::Credential::Kind::Ticket};
        return {host::AuthAnswer::Status::Ok, user, it->second.role, {host::Credential::Kind::Ticket, ticket}};
    }
    host::AuthAnswer check(const std::string& secret, std::optional<host::Credential::Kind>) override {
        ++checks;
        if (!available_) return {};
        std::lock_guard lock(mutex_);
        auto it = secrets_.find(secret);
        if (it == secrets_.end()) return refused();
        return {host::AuthAnswer::Status::Ok, it->second.user, users_[it->second.user].role, {it->second.kind, secret}};
    }
    bool logout(const std::string& ticket) override {
        ++logouts;
        std::lock_guard lock(mutex_);
        secrets_.erase(ticket);
        return available_;
    }

    std::atomic<int> logins{0}, checks{0}, logouts{0};

private:
    static host::AuthAnswer refused() {
        host::AuthAnswer answer;
        answer.status = host::AuthAnswer::Status::Refused;
        return answer;
    }
    struct User {
        std::string role;
        std::string password;
    };
    struct Secret {
        std::string user;
        host::Credential::Kind kind;
    };
    std::mutex mutex_;
    std::map<std::string, User> users_;
    std::map<std::string, Secret> secrets_;
    int issued_ = 0;
    std::atomic<bool> available_{true};
};

} // namespace hosttest
