#include "DatabaseUrl.h"

#include <cctype>

namespace appserver {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size()) throw UrlError("URL do banco de dados com escape % incompleto");
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) throw UrlError("URL do banco de dados com escape % inválido");
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// libpq keyword values: single-quoted, with backslash and quote escaped.
void appendKeyword(std::string& out, std::string_view key, std::string_view value) {
    if (!out.empty()) out.push_back(' ');
    out.append(key);
    out += "='";
    for (char c : value) {
        if (c == '\\' || c == '\'') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('\'');
}

bool isIdentifier(std::string_view s) {
    if (s.empty() || s.size() > 63) return false;
    if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

bool isKeyword(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!(std::islower(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

DatabaseUrl parseSqlite(std::string_view rest, std::string_view url) {
    if (rest.starts_with("//")) rest.remove_prefix(2);
    if (rest.empty()) throw UrlError("URL do banco de dados sem caminho do arquivo: use sqlite:CAMINHO");
    if (rest == ":memory:")
        throw UrlError("Banco SQLite em memória não é aceito: cada conexão veria uma base vazia própria");
    if (rest.find('"') != std::string_view::npos)
        throw UrlError("Caminho do banco SQLite não pode conter aspas");
    DatabaseUrl db;
    db.dialect = Dialect::Sqlite;
    db.path = std::string(rest);
    // The path is quoted so that spaces survive the library's option parser.
    // The busy timeout is the library's; synchronous=NORMAL is set by the session after opening, once the
    // timeout applies (the library runs its own synchronous pragma before setting the timeout, and that
    // pragma failed with "database is locked" when several sessions opened at once).
    db.connectString = "db=\"" + db.path + "\" timeout=5";
    db.display = std::string(url);
    return db;
}

DatabaseUrl parsePostgres(std::string_view rest) {
    DatabaseUrl db;
    db.dialect = Dialect::Postgresql;
    std::string_view query;
    if (auto q = rest.find('?'); q != std::string_view::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos || slash + 1 >= rest.size())
        throw UrlError("URL PostgreSQL sem nome da base: use postgresql://usuário@máquina:porta/base");
    const std::string dbname = percentDecode(rest.substr(slash + 1));
    std::string_view authority = rest.substr(0, slash);

    std::string user, password;
    bool hasPassword = false;
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        std::string_view userinfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        if (auto colon = userinfo.find(':'); colon != std::string_view::npos) {
            password = percentDecode(userinfo.substr(colon + 1));
            userinfo = userinfo.substr(0, colon);
            hasPassword = true;
        }
        user = percentDecode(userinfo);
    }
    std::string host, port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) throw UrlError("URL PostgreSQL com endereço IPv6 sem \"]\"");
        host = std::string(authority.substr(1, close - 1));
        authority = authority.substr(close + 1);
        if (authority.starts_with(':'))
            port = std::string(authority.substr(1));
        else if (!authority.empty())
            throw UrlError("URL PostgreSQL com texto após o endereço IPv6");
    } else if (auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = std::string(authority.substr(0, colon));
        port = std::string(authority.substr(colon + 1));
    } else {
        host = std::string(authority);
    }
    for (char c : port)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            throw UrlError("URL PostgreSQL com porta inválida: " + port);

    std::string cs;
    if (!host.empty()) appendKeyword(cs, "host", host);
    if (!port.empty()) appendKeyword(cs, "port", port);
    appendKeyword(cs, "dbname", dbname);
    if (!user.empty()) appendKeyword(cs, "user", user);
    if (hasPassword) appendKeyword(cs, "password", password);
    appendKeyword(cs, "client_encoding", "UTF8");
    appendKeyword(cs, "application_name", "tipoper-appserver");

    while (!query.empty()) {
        const auto amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (pair.empty()) continue;
        const auto eq = pair.find('=');
        if (eq == std::string_view::npos)
            throw UrlError("Parâmetro sem valor na URL PostgreSQL: " + std::string(pair));
        const std::string key = percentDecode(pair.substr(0, eq));
        const std::string value = percentDecode(pair.substr(eq + 1));
        if (key == "schema") {
            if (!isIdentifier(value))
                throw UrlError("Nome de esquema inválido na URL PostgreSQL: " + value +
                               " (use letras, dígitos e _)");
            db.schema = value;
        } else if (isKeyword(key)) {
            appendKeyword(cs, key, value);
        } else {
            throw UrlError("Parâmetro inválido na URL PostgreSQL: " + key);
        }
    }
    if (!db.schema.empty()) appendKeyword(cs, "options", "-csearch_path=" + db.schema);
    db.connectString = cs;

    db.display = "postgresql://";
    if (!user.empty()) db.display += user + (hasPassword ? ":***@" : "@");
    db.display += host.empty() ? "localhost" : host;
    if (!port.empty()) db.display += ":" + port;
    db.display += "/" + dbname;
    if (!db.schema.empty()) db.display += "?schema=" + db.schema;
    return db;
}

} // namespace

DatabaseUrl parseDatabaseUrl(std::string_view url) {
    if (url.starts_with("sqlite:")) return parseSqlite(url.substr(7), url);
    if (url.starts_with("postgresql://")) return parsePostgres(url.substr(13));
    if (url.starts_with("postgres://")) return parsePostgres(url.substr(11));
    throw UrlError("URL do banco de dados não reconhecida: \"" + std::string(url) +
                   "\"; use sqlite:CAMINHO ou postgresql://usuário@máquina:porta/base");
}

} // namespace appserver
