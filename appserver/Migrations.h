#pragma once

// The schema of the ERP database, by dialect, in numbered migrations (db/<dialect>/NNN_name.sql) that
// are compiled into the server. SCHEMA_VERSION records the applied ones; at start the server applies the
// missing ones in order, all in one transaction, and refuses a database newer than itself.

#include "Database.h"

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

struct Migration {
    int version;
    std::string_view name;
    std::string_view sql;
};

std::span<const Migration> migrations(Dialect dialect);
std::string_view demoScript();

// Splits a script into statements at the semicolons outside quotes and comments; drops empty ones.
std::vector<std::string> splitScript(std::string_view script);

class SchemaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SchemaState {
    int before = 0; // version found
    int after = 0;  // version left
};

// Brings the schema to the latest version; `schema` (PostgreSQL) is created when missing.
SchemaState migrate(Database& db, const std::string& schema);

// Loads the demonstration data when every table it fills is empty; returns false (and writes nothing)
// when the database already holds data.
bool loadDemo(Database& db);

namespace embedded {
extern const Migration sqliteMigrations[];
extern const std::size_t sqliteMigrationCount;
extern const Migration postgresqlMigrations[];
extern const std::size_t postgresqlMigrationCount;
extern const std::string_view demoData;
} // namespace embedded

} // namespace appserver
