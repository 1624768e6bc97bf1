#include "lib/Database.h"

#include "lib/PreparedStatement.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace lib {

const char* toString(Dialect dialect) {
    switch (dialect) {
    case Dialect::SQLite:
        return "sqlite";
    case Dialect::PostgreSQL:
        return "postgresql";
    }
    return "?";
}

namespace {

[[noreturn]] void badURL(std::string_view url, const std::string& why) {
    throw DatabaseError(DatabaseError::Kind::Configuration, "A configuração da base de dados é inválida.",
                        "URL de banco de dados inválida \"" + redactedURL(url) + "\": " + why);
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// nullopt for an incomplete or malformed escape.
std::optional<std::string> decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(text[i + 2]) : -1;
        if (lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

std::string percentDecode(std::string_view text, std::string_view url) {
    auto out = decoded(text);
    if (!out) badURL(url, "escape % incompleto");
    return std::move(*out);
}

// A keyword/value pair of a connection string, quoted when it holds blanks, quotes or backslashes.
void appendPair(std::string& out, std::string_view key, std::string_view value) {
    if (!out.empty()) out.push_back(' ');
    out += key;
    out.push_back('=');
    const bool plain = !value.empty() && value.find_first_of(" '\\\t\n") == std::string_view::npos;
    if (plain) {
        out += value;
        return;
    }
    out.push_back('\'');
    for (char ch : value) {
        if (ch == '\'' || ch == '\\') out.push_back('\\');
        out.push_back(ch);
    }
    out.push_back('\'');
}

ConnectTarget postgresTarget(std::string_view url, std::string_view rest) {
    ConnectTarget target{Dialect::PostgreSQL, "postgresql", {}};
    std::string_view query;
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    std::string_view authority = rest, path;
    if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
        authority = rest.substr(0, slash);
        path = rest.substr(slash + 1);
    }
    std::string_view userInfo;
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
    }
    std::string_view host = authority, port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) badURL(url, "endereço IPv6 sem ']'");
        host = authority.substr(1, close - 1);
        const auto after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') badURL(url, "porta malformada");
            port = after.substr(1);
        }
    } else if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (!port.empty()) {
        int number = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
            badURL(url, "porta inválida");
    }
    if (path.empty()) badURL(url, "falta o nome do banco");

    std::string& cs = target.connectString;
    if (!host.empty()) appendPair(cs, "host", percentDecode(host, url));
    if (!port.empty()) appendPair(cs, "port", port);
    appendPair(cs, "dbname", percentDecode(path, url));
    if (!userInfo.empty()) {
        const auto colon = userInfo.find(':');
        appendPair(cs, "user", percentDecode(userInfo.substr(0, colon), url));
        if (colon != std::string_view::npos)
            appendPair(cs, "password", percentDecode(userInfo.substr(colon + 1), url));
    }
    while (!query.empty()) {
        const auto amp = query.find('&');
        const auto item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        const auto eq = item.find('=');
        if (eq == std::string_view::npos || eq == 0) badURL(url, "parâmetro sem valor: " + std::string(item));
        appendPair(cs, percentDecode(item.substr(0, eq), url), percentDecode(item.substr(eq + 1), url));
    }
    return target;
}

} // namespace

ConnectTarget connectTarget(std::string_view url) {
    if (url.starts_with("sqlite:")) {
        const auto path = url.substr(7);
        if (path.empty()) badURL(url, "falta o caminho do arquivo");
        if (path.find('"') != std::string_view::npos) badURL(url, "o caminho não pode conter aspas");
        // A busy timeout lets the application server and the host share the file.
        return {Dialect::SQLite, "sqlite3", "db=\"" + std::string(path) + "\" timeout=5"};
    }
    for (std::string_view scheme : {"postgresql://", "postgres://"})
        if (url.starts_with(scheme)) return postgresTarget(url, url.substr(scheme.size()));
    badURL(url, "use sqlite:CAMINHO ou postgresql://usuario@host:porta/banco");
}

std::string redactedURL(std::string_view url) {
    constexpr std::string_view mask = "***";
    std::string out;
    const auto scheme = url.find("://");
    const auto start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const auto queryStart = std::min(url.find('?', start), url.size());
    // The user part ends at the last '@' before the parameters: a password holding an unescaped '/'
    // or '@' is still masked whole, although such a URL does not parse.
    const auto beforeQuery = url.substr(start, queryStart - start);
    const auto at = beforeQuery.rfind('@');
    const auto colon = beforeQuery.find(':');
    if (scheme != std::string_view::npos && at != std::string_view::npos && colon < at) {
        out += url.substr(0, start + colon + 1);
        out += mask;
        out += beforeQuery.substr(at);
    } else {
        out += url.substr(0, queryStart);
    }
    if (queryStart == url.size()) return out;
    // A password may also come as a parameter, its name possibly percent-encoded.
    out.push_back('?');
    std::string_view query = url.substr(queryStart + 1);
    for (;;) {
        const auto amp = query.find('&');
        const auto item = query.substr(0, amp);
        const auto eq = item.find('=');
        if (eq != std::string_view::npos && decoded(item.substr(0, eq)).value_or("") == "password") {
            out += item.substr(0, eq + 1);
            out += mask;
        } else {
            out += item;
        }
        if (amp == std::string_view::npos) break;
        out.push_back('&');
        query = query.substr(amp + 1);
    }
    return out;
}

SessionLease::SessionLease(SessionLease&& other) noexcept
    : source_(std::exchange(other.source_, nullptr)), session_(other.session_), reused_(other.reused_),
      broken_(other.broken_) {}

SessionLease::~SessionLease() {
    if (source_) source_->giveBack(*session_, broken_);
}

PreparedStatement::PreparedStatement(soci::session& session, const std::string& text, std::size_t parameters)
    : statement(session), values(parameters), indicators(parameters, soci::i_null) {
    statement.exchange(soci::into(row));
    for (std::size_t i = 0; i < parameters; ++i)
        statement.exchange(soci::use(values[i], indicators[i]));
    statement.alloc();
    statement.prepare(text);
    statement.define_and_bind();
}

Database::Database(const std::string& url) : url_(url) {
    const ConnectTarget target = connectTarget(url);
    dialect_ = target.dialect;
    if (dialect_ == Dialect::SQLite) {
        const std::filesystem::path path(url.substr(7));
        if (path != ":memory:" && path.has_parent_path()) {
            std::error_code ec;
            std::filesystem::create_directories(path.parent_path(), ec);
        }
    }
    try {
        session_ = std::make_unique<soci::session>(target.backend, target.connectString);
    } catch (const std::exception& e) {
        throw DatabaseError(DatabaseError::Kind::Connect, "Não foi possível conectar à base de dados.",
                            "Não foi possível abrir " + redactedURL(url) + ": " + e.what());
    }
}

Database::~Database() = default;

void Database::execute(const std::string& sql) {
    try {
        *session_ << sql;
    } catch (const std::exception& e) {
        throw DatabaseError(DatabaseError::Kind::Query, "Não foi possível executar o comando na base de dados.", e.what());
    }
}

PreparedStatement& Database::prepared(const std::string& text, std::size_t parameters) {
    if (const auto it = statements_.find(text); it != statements_.end()) {
        it->second.lastUse = ++useClock_;
        return *it->second.statement;
    }
    if (statements_.size() >= kStatementCacheSize) {
        const auto oldest = std::min_element(statements_.begin(), statements_.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        statements_.erase(oldest);
    }
    auto statement = std::make_unique<PreparedStatement>(*session_, text, parameters);
    prepares_.fetch_add(1, std::memory_order_relaxed);
    auto& cached = statements_[text];
    cached = {std::move(statement), ++useClock_};
    return *cached.statement;
}

void Database::forget(const std::string& text) {
    statements_.erase(text);
}

bool Database::alive() {
    return session_->is_connected();
}

} // namespace lib
