#pragma once

// A read query on the host's database, as the screen definition declares it: one SQL text per
// dialect, named string parameters, and the fields the screen shows.
//
// Which text runs: a query may carry a generic text (SQL) and texts for other dialects (SQL_ORACLE,
// SQL_MSSQL, SQL_IB). Both databases this system runs on use the standard `||` concatenation that
// the SQL_ORACLE texts are written with, so PostgreSQL and SQLite run SQL_ORACLE when it is not
// empty and SQL otherwise. SQL_MSSQL (`+` concatenation) and SQL_IB are never chosen. A text is empty
// when all of its lines are blank. Lines are joined with "\n".
//
// Parameters: `:NAME` in the chosen text (outside quotes and comments; PostgreSQL's `::` cast is not
// one). Names compare case-insensitively. Values are always bound, never spliced into the text, and
// a name used twice gets the same value at both places. A parameter keeps its value across Close and
// Open; one never given a value is bound as NULL.
//
// Result: with declared fields, the rows hold exactly those fields in declared order, matched to the
// result's columns by name case-insensitively (PostgreSQL folds unquoted names to lower case); a
// declared field missing from the result fails the Open. Without declared fields, every column in
// result order, named in upper case. Values are strings or null; numbers and dates are written out
// as text.
//
// Sessions: a query takes a session from its source (a SessionPool for the screens, a dedicated
// Database for tools and tests) for the time of one Open and gives it back before Open returns. When
// a session that waited in a pool turns out to have lost its connection, Open drops it and runs once
// more on another
// session. Failures raise DatabaseError whose user text names only the query.

#include "lib/Database.h"
#include "wire/Packet.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

// A field as the screen declares it.
struct QueryField {
    std::string name;
    int size = 0;
    std::string label;
    int displayWidth = 0;
    bool visible = true;
    bool required = false;
};

// A parameter's value, set with a string: query.ParamByName("P_CDTIPOOPER").AsString = "01".
class ParamValue {
public:
    ParamValue& operator=(std::string text) {
        value_ = std::move(text);
        return *this;
    }
    operator std::string() const { return value_.value_or(std::string()); }
    const wire::Value& value() const { return value_; }
    void clear() { value_.reset(); }

private:
    wire::Value value_;
};

struct TParam {
    std::string Name; // as first written in the text
    ParamValue AsString;
    bool IsNull() const { return !AsString.value(); }
    void Clear() { AsString.clear(); }
};

// A query must be destroyed before its session source (the screen owning the query is closed before
// the host lets the pool go).
class TADOIBQuery {
public:
    TADOIBQuery(SessionSource& source, std::string name);
    ~TADOIBQuery();
    TADOIBQuery(const TADOIBQuery&) = delete;
    TADOIBQuery& operator=(const TADOIBQuery&) = delete;

    const std::string& name() const { return name_; }
    SessionSource& source() const { return *source_; }

    // The texts, line by line. Changing a text closes the query; parameter values of names the new
    // chosen text still uses are kept.
    void setSQL(std::vector<std::string> lines);
    void setSQL_ORACLE(std::vector<std::string> lines);
    void setSQL_MSSQL(std::vector<std::string> lines);
    void setSQL_IB(std::vector<std::string> lines);
    const std::vector<std::string>& SQL() const { return sql_; }
    const std::vector<std::string>& SQL_ORACLE() const { return sqlOracle_; }
    const std::vector<std::string>& SQL_MSSQL() const { return sqlMssql_; }
    const std::vector<std::string>& SQL_IB() const { return sqlIb_; }
    // The text that runs on this query's database.
    std::string chosenText() const;

    // Field declarations (while closed).
    QueryField& addField(std::string name, int size, std::string label = {}, int displayWidth = 0,
                         bool visible = true, bool required = false);
    const std::vector<QueryField>& fields() const { return fields_; }

    // The parameters of the chosen text, in order of first use.
    const std::vector<TParam>& params() const { return params_; }
    // DatabaseError (Definition) when the chosen text has no parameter of that name.
    TParam& ParamByName(std::string_view name);
    void setParam(std::string_view name, std::string value) { ParamByName(name).AsString = std::move(value); }

    // Runs the query and holds all its rows, the first one current; DatabaseError on failure (the
    // query then stays closed): Connect or Busy when no session could be had, Query when the database
    // failed the statement, Definition when a declared field is not in the result. Opening an open
    // query does nothing, as in the classic component.
    void Open();
    void Close();
    bool active() const { return active_; }
    // True when closed or without rows.
    bool IsEmpty() const { return rows_.rows.empty(); }

    const wire::DataPacket& rows() const { return rows_; }

    // The current row: 1-based like the client datasets, 0 when empty or closed.
    int recordCount() const { return static_cast<int>(rows_.rows.size()); }
    int recNo() const { return recNo_; }
    void moveTo(int recNo); // clamps to the rows
    void First() { moveTo(1); }
    void Next();
    bool Eof() const { return recNo_ == 0 || eof_; }
    // The current row's value of a field; DatabaseError (Definition) for an unknown field or no
    // current row.
    wire::Value value(std::string_view field) const;
    std::string asString(std::string_view field) const { return value(field).value_or(std::string()); }

private:
    void textChanged();
    void parseParams(); // the parameters of the chosen text, keeping the values of names still used
    void run(Database& session); // execute and fetch every row on a borrowed session
    [[noreturn]] void definitionFault(const std::string& detail) const;

    SessionSource* source_;
    std::string name_;
    std::vector<std::string> sql_, sqlOracle_, sqlMssql_, sqlIb_;
    std::vector<QueryField> fields_;
    std::vector<TParam> params_;
    // The chosen text rewritten with one positional placeholder per use, and which parameter each
    // use binds.
    std::string boundText_;
    std::vector<std::size_t> uses_;
    // The result column of each output field, found on the first successful Open of the text: every
    // session runs the same text, so the result has the same shape on all of them.
    std::vector<int> columnOfField_;
    bool described_ = false;

    bool active_ = false;
    bool eof_ = false;
    int recNo_ = 0;
    wire::DataPacket rows_;
};

// Rewrites the `:NAME` parameters of `text` to positional placeholders (:p1, :p2, ...) and lists the
// names in order of use (upper case). Exposed for the tests.
struct ParsedText {
    std::string text;
    std::vector<std::string> uses;
};
ParsedText parseParameters(std::string_view text);

} // namespace lib
