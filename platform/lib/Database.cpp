#include "lib/Database.h"

#include <charconv>
#include <filesystem>
#include <soci/soci.h>
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
    throw DatabaseError("URL de banco de dados inválida \"" + redactedURL(url) + "\": " + why);
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text, std::string_view url) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(text[i + 2]) : -1;
        if (lo < 0) badURL(url, "escape % incompleto");
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
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
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const auto start = scheme + 3;
    const auto end = url.find_first_of("/?", start);
    const auto authority =
        url.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const auto at = authority.rfind('@');
    const auto colon = authority.find(':');
    if (at == std::string_view::npos || colon == std::string_view::npos || colon > at)
        return std::string(url);
    std::string out(url.substr(0, start + colon + 1));
    out += "***";
    out += url.substr(start + at);
    return out;
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
        throw DatabaseError("Não foi possível abrir o banco de dados " + redactedURL(url) + ": " + e.what());
    }
}

Database::~Database() = default;

void Database::execute(const std::string& sql) {
    try {
        *session_ << sql;
    } catch (const std::exception& e) {
        throw DatabaseError("Erro no banco de dados: " + std::string(e.what()));
    }
}

} // namespace lib
