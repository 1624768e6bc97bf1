#include "Migrations.h"

#include "Clock.h"

#include <algorithm>
#include <charconv>

namespace appserver {

std::span<const Migration> migrations(Dialect dialect) {
    if (dialect == Dialect::Sqlite) return {embedded::sqliteMigrations, embedded::sqliteMigrationCount};
    return {embedded::postgresqlMigrations, embedded::postgresqlMigrationCount};
}

std::string_view demoScript() {
    return embedded::demoData;
}

std::vector<std::string> splitScript(std::string_view script) {
    std::vector<std::string> out;
    std::string current;
    bool meaningful = false; // the statement holds more than blanks and comments
    auto flush = [&] {
        if (meaningful) {
            const auto first = current.find_first_not_of(" \t\r\n");
            const auto last = current.find_last_not_of(" \t\r\n");
            out.push_back(current.substr(first, last - first + 1));
        }
        current.clear();
        meaningful = false;
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (c == '\'' || c == '"') {
            // Quoted text or identifier; a doubled quote stays inside.
            const std::size_t start = i;
            for (++i; i < script.size(); ++i) {
                if (script[i] == c) {
                    if (i + 1 < script.size() && script[i + 1] == c)
                        ++i;
                    else
                        break;
                }
            }
            current.append(script.substr(start, i - start + 1));
            meaningful = true;
        } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            while (i < script.size() && script[i] != '\n')
                ++i;
            current.push_back('\n');
        } else if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
            const auto end = script.find("*/", i + 2);
            i = end == std::string_view::npos ? script.size() : end + 1;
            current.push_back(' ');
        } else if (c == ';') {
            flush();
        } else {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') meaningful = true;
            current.push_back(c);
        }
    }
    flush();
    return out;
}

namespace {

int readInt(Database& db, const std::string& sql) {
    auto reader = db.prepareReader(sql);
    ReaderScope rows(*reader, {});
    if (!rows.next() || !rows.value(0)) return 0;
    const auto text = *rows.value(0);
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

SchemaState migrate(Database& db, const std::string& schema) {
    const auto steps = migrations(db.dialect());
    const int latest = steps.empty() ? 0 : steps.back().version;
    SchemaState state;
    // Write-ahead logging is a property of the file: set once here, before any transaction, it lets every
    // session read while another commits.
    if (db.dialect() == Dialect::Sqlite) db.exec("PRAGMA journal_mode = WAL");
    Transaction tx(db);
    if (db.dialect() == Dialect::Postgresql) {
        // Two servers starting on an empty database must not both create the tables.
        db.exec("SELECT pg_advisory_xact_lock(74006600)");
        if (!schema.empty()) db.exec("CREATE SCHEMA IF NOT EXISTS " + schema);
    }
    db.exec("CREATE TABLE IF NOT EXISTS SCHEMA_VERSION (VERSION INTEGER NOT NULL PRIMARY KEY, "
            "DSMIGRACAO VARCHAR(100) NOT NULL, DTAPLICACAO VARCHAR(30) NOT NULL)");
    state.before = readInt(db, "SELECT MAX(VERSION) FROM SCHEMA_VERSION");
    if (state.before > latest)
        throw SchemaError("A base de dados está na versão " + std::to_string(state.before) +
                          ", mais nova que a versão " + std::to_string(latest) +
                          " que este servidor conhece; atualize o servidor.");
    Command record(db.session(),
                   "INSERT INTO SCHEMA_VERSION (VERSION, DSMIGRACAO, DTAPLICACAO) VALUES (:p0, :p1, :p2)", 3);
    for (const auto& step : steps) {
        if (step.version <= state.before) continue;
        for (const auto& statement : splitScript(step.sql))
            db.exec(statement);
        const std::string version = std::to_string(step.version);
        const std::string when = isoTimestamp();
        record.set(0, version);
        record.set(1, step.name);
        record.set(2, when);
        record.execute();
    }
    tx.commit();
    state.after = std::max(state.before, latest);
    return state;
}

bool loadDemo(Database& db) {
    Transaction tx(db);
    for (const char* table :
         {"TIPOOPERAC", "FORNECEDOR", "TIPOCUSTO", "TABPRECO", "ENCARGO", "MENSTIPOOPER", "CONTROLEFISCAL"}) {
        if (readInt(db, std::string("SELECT COUNT(*) FROM ") + table) > 0) return false;
    }
    for (const auto& statement : splitScript(demoScript()))
        db.exec(statement);
    tx.commit();
    // Fresh statistics, so the first queries on the new rows get sensible plans.
    db.exec("ANALYZE");
    return true;
}

} // namespace appserver
