#include "Accounts.h"

#include "Clock.h"
#include "Secrets.h"

#include <charconv>
#include <chrono>

namespace appserver {

namespace {

struct RoleName {
    Role role;
    std::string_view name;
};
constexpr RoleName kRoles[] = {
    {Role::Consulta, "consulta"}, {Role::Manutencao, "manutencao"}, {Role::Admin, "admin"}};

int toInt(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

std::optional<Role> roleFromName(std::string_view name) {
    for (const auto& r : kRoles)
        if (r.name == name) return r.role;
    return std::nullopt;
}

std::string_view roleName(Role role) {
    for (const auto& r : kRoles)
        if (r.role == role) return r.name;
    return "consulta";
}

bool canWrite(Role role) {
    return role == Role::Manutencao || role == Role::Admin;
}

bool validUserName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    const auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
    if (!alnum(name.front())) return false;
    for (char c : name)
        if (!alnum(c) && c != '.' && c != '_' && c != '-' && c != '@') return false;
    return true;
}

std::int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Accounts::Accounts(Database& db) : db_(db) {}
Accounts::~Accounts() = default;

Reader& Accounts::reader(Query query) {
    auto& slot = readers_[static_cast<std::size_t>(query)];
    if (slot) return *slot;
    const char* sql = "";
    switch (query) {
    case Query::User:
        sql = "SELECT NMUSUARIO, IDPAPEL, DSSENHA, IDATIVO FROM USUARIO WHERE NMUSUARIO = $1";
        break;
    case Query::Users:
        sql = "SELECT U.NMUSUARIO, U.IDPAPEL, U.IDATIVO, CASE WHEN U.DSSENHA IS NULL THEN 'N' ELSE 'S' END,"
              " (SELECT COUNT(*) FROM TOKENUSUARIO K WHERE K.NMUSUARIO = U.NMUSUARIO)"
              " FROM USUARIO U ORDER BY U.NMUSUARIO";
        break;
    case Query::TicketOwner:
        sql = "SELECT U.NMUSUARIO, U.IDPAPEL FROM TICKETUSUARIO T JOIN USUARIO U ON U.NMUSUARIO = T.NMUSUARIO"
              " WHERE T.DSHASH = $1 AND T.NRULTIMOUSO >= $2 AND U.IDATIVO = 'S'";
        break;
    case Query::TokenOwner:
        sql = "SELECT U.NMUSUARIO, U.IDPAPEL FROM TOKENUSUARIO K JOIN USUARIO U ON U.NMUSUARIO = K.NMUSUARIO"
              " WHERE K.DSHASH = $1 AND U.IDATIVO = 'S'";
        break;
    case Query::Count:
        break;
    }
    slot = db_.prepareReader(sql);
    return *slot;
}

Command& Accounts::command(Write write) {
    auto& slot = commands_[static_cast<std::size_t>(write)];
    if (slot) return *slot;
    struct Text {
        const char* sql;
        int params;
    };
    Text text{"", 0};
    switch (write) {
    case Write::InsertUser:
        text = {"INSERT INTO USUARIO (NMUSUARIO, IDPAPEL, DSSENHA, IDATIVO, DTCRIACAO)"
                " VALUES (:p0, :p1, :p2, 'S', :p3)",
                4};
        break;
    case Write::SetRole:
        text = {"UPDATE USUARIO SET IDPAPEL = :p0 WHERE NMUSUARIO = :p1", 2};
        break;
    case Write::SetActive:
        text = {"UPDATE USUARIO SET IDATIVO = :p0 WHERE NMUSUARIO = :p1", 2};
        break;
    case Write::SetPassword:
        text = {"UPDATE USUARIO SET DSSENHA = :p0 WHERE NMUSUARIO = :p1", 2};
        break;
    case Write::InsertToken:
        text = {"INSERT INTO TOKENUSUARIO (DSHASH, NMUSUARIO, DTCRIACAO) VALUES (:p0, :p1, :p2)", 3};
        break;
    case Write::DeleteTokens:
        text = {"DELETE FROM TOKENUSUARIO WHERE NMUSUARIO = :p0", 1};
        break;
    case Write::InsertTicket:
        text = {"INSERT INTO TICKETUSUARIO (DSHASH, NMUSUARIO, NRULTIMOUSO, DTCRIACAO) VALUES (:p0, :p1, :p2, :p3)",
                4};
        break;
    case Write::TouchTicket:
        // Only forward: two connections of one login refreshing it at once never move it back.
        text = {"UPDATE TICKETUSUARIO SET NRULTIMOUSO = :p0 WHERE DSHASH = :p1 AND NRULTIMOUSO < :p2", 3};
        break;
    case Write::DeleteTicket:
        text = {"DELETE FROM TICKETUSUARIO WHERE DSHASH = :p0", 1};
        break;
    case Write::DeleteTicketsOf:
        text = {"DELETE FROM TICKETUSUARIO WHERE NMUSUARIO = :p0", 1};
        break;
    case Write::PurgeTickets:
        text = {"DELETE FROM TICKETUSUARIO WHERE NRULTIMOUSO < :p0", 1};
        break;
    case Write::Count:
        break;
    }
    slot = std::make_unique<Command>(db_.session(), text.sql, text.params);
    return *slot;
}

bool Accounts::exists(std::string_view name) {
    const std::string_view params[] = {name};
    ReaderScope rows(reader(Query::User), params);
    return rows.next();
}

bool Accounts::addUser(std::string_view name, Role role, const std::optional<std::string>& passwordHash) {
    Transaction tx(db_);
    if (exists(name)) return false;
    auto& insert = command(Write::InsertUser);
    const std::string created = isoTimestamp();
    insert.set(0, name);
    insert.set(1, roleName(role));
    insert.set(2, passwordHash ? std::optional<std::string_view>(*passwordHash) : std::nullopt);
    insert.set(3, created);
    insert.execute();
    tx.commit();
    return true;
}

std::vector<UserInfo> Accounts::users() {
    std::vector<UserInfo> out;
    ReaderScope rows(reader(Query::Users), {});
    while (rows.next()) {
        UserInfo u;
        u.name = rows.text(0);
        u.role = roleFromName(rows.text(1)).value_or(Role::Consulta);
        u.active = rows.text(2) == "S";
        u.hasPassword = rows.text(3) == "S";
        u.tokens = toInt(rows.text(4));
        out.push_back(std::move(u));
    }
    return out;
}

bool Accounts::setRole(std::string_view name, Role role) {
    auto& update = command(Write::SetRole);
    update.set(0, roleName(role));
    update.set(1, name);
    return update.execute() == 1;
}

bool Accounts::setActive(std::string_view name, bool active) {
    Transaction tx(db_);
    auto& update = command(Write::SetActive);
    update.set(0, active ? "S" : "N");
    update.set(1, name);
    if (update.execute() != 1) return false;
    if (!active) {
        for (Write w : {Write::DeleteTicketsOf, Write::DeleteTokens}) {
            auto& remove = command(w);
            remove.set(0, name);
            remove.execute();
        }
    }
    tx.commit();
    return true;
}

bool Accounts::setPassword(std::string_view name, const std::string& passwordHash) {
    auto& update = command(Write::SetPassword);
    update.set(0, passwordHash);
    update.set(1, name);
    return update.execute() == 1;
}

std::optional<std::string> Accounts::newToken(std::string_view name) {
    Transaction tx(db_);
    if (!exists(name)) return std::nullopt;
    std::string token = secrets::newSecret();
    const std::string hash = secrets::secretHash(token);
    const std::string created = isoTimestamp();
    auto& insert = command(Write::InsertToken);
    insert.set(0, hash);
    insert.set(1, name);
    insert.set(2, created);
    insert.execute();
    tx.commit();
    return token;
}

std::optional<int> Accounts::revokeTokens(std::string_view name) {
    Transaction tx(db_);
    if (!exists(name)) return std::nullopt;
    auto& remove = command(Write::DeleteTokens);
    remove.set(0, name);
    const auto count = static_cast<int>(remove.execute());
    tx.commit();
    return count;
}

std::optional<Accounts::Login> Accounts::loginOf(std::string_view name) {
    const std::string_view params[] = {name};
    ReaderScope rows(reader(Query::User), params);
    if (!rows.next()) return std::nullopt;
    Login login;
    login.who.user = rows.text(0);
    login.who.role = roleFromName(rows.text(1)).value_or(Role::Consulta);
    if (const auto hash = rows.value(2)) login.passwordHash.emplace(*hash);
    login.active = rows.text(3) == "S";
    return login;
}

std::string Accounts::newTicket(std::string_view name, std::int64_t now, std::int64_t expiredBefore) {
    std::string ticket = secrets::newSecret();
    const std::string hash = secrets::secretHash(ticket);
    const std::string used = std::to_string(now);
    const std::string cutoff = std::to_string(expiredBefore);
    const std::string created = isoTimestamp();
    Transaction tx(db_);
    auto& purge = command(Write::PurgeTickets);
    purge.set(0, cutoff);
    purge.execute();
    auto& insert = command(Write::InsertTicket);
    insert.set(0, hash);
    insert.set(1, name);
    insert.set(2, used);
    insert.set(3, created);
    insert.execute();
    tx.commit();
    return ticket;
}

std::optional<Identity> Accounts::owner(Query query, std::span<const std::string_view> params) {
    ReaderScope rows(reader(query), params);
    if (!rows.next()) return std::nullopt;
    return Identity{std::string(rows.text(0)), roleFromName(rows.text(1)).value_or(Role::Consulta)};
}

std::optional<Identity> Accounts::ticketOwner(std::string_view ticketHash, std::int64_t now,
                                              std::int64_t expiredBefore) {
    const std::string cutoff = std::to_string(expiredBefore);
    const std::string_view params[] = {ticketHash, cutoff};
    auto who = owner(Query::TicketOwner, params);
    if (!who) return std::nullopt;
    const std::string used = std::to_string(now);
    auto& touch = command(Write::TouchTicket);
    touch.set(0, used);
    touch.set(1, ticketHash);
    touch.set(2, used);
    touch.execute();
    return who;
}

std::optional<Identity> Accounts::tokenOwner(std::string_view tokenHash) {
    const std::string_view params[] = {tokenHash};
    return owner(Query::TokenOwner, params);
}

bool Accounts::dropTicket(std::string_view ticketHash) {
    auto& remove = command(Write::DeleteTicket);
    remove.set(0, ticketHash);
    return remove.execute() > 0;
}

} // namespace appserver
