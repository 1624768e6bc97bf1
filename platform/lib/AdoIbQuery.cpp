#include "lib/AdoIbQuery.h"

#include "lib/PreparedStatement.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace lib {

namespace {

char upper(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

std::string upperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper);
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

bool nameStart(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
}
bool namePart(char ch) {
    return nameStart(ch) || (ch >= '0' && ch <= '9');
}

bool blankText(const std::vector<std::string>& lines) {
    return std::all_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find_first_not_of(" \t\r\n") == std::string::npos;
    });
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) out.push_back('\n');
        out += lines[i];
    }
    return out;
}

template <class Number> std::string numberText(Number n) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
    return std::string(buffer, end);
}

std::string dateText(const std::tm& tm) {
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return std::string(buffer, n);
}

std::string failureText(const std::string& query) {
    return "Não foi possível consultar a base de dados (consulta " + query + ").";
}

// nullopt for a column type the query cannot show as text.
std::optional<wire::Value> columnValue(const soci::row& row, std::size_t i) {
    if (row.get_indicator(i) == soci::i_null) return wire::Value(); // a null value, not a missing one
    switch (row.get_properties(i).get_data_type()) {
    case soci::dt_string:
    case soci::dt_xml:
        return row.get<std::string>(i);
    case soci::dt_double:
        return numberText(row.get<double>(i));
    case soci::dt_integer:
        return numberText(row.get<int>(i));
    case soci::dt_long_long:
        return numberText(row.get<long long>(i));
    case soci::dt_unsigned_long_long:
        return numberText(row.get<unsigned long long>(i));
    case soci::dt_date:
        return dateText(row.get<std::tm>(i));
    case soci::dt_blob:
        break;
    }
    return std::nullopt;
}

} // namespace

ParsedText parseParameters(std::string_view text) {
    ParsedText out;
    out.text.reserve(text.size() + 8);
    std::size_t i = 0;
    auto copyUntil = [&](std::string_view terminator, std::size_t skip) {
        // Copies from i through the terminator (or to the end); `skip` characters are already known
        // not to close the construct.
        const auto end = text.find(terminator, i + skip);
        const auto stop = end == std::string_view::npos ? text.size() : end + terminator.size();
        out.text.append(text.substr(i, stop - i));
        i = stop;
    };
    while (i < text.size()) {
        const char ch = text[i];
        if (ch == '\'')
            copyUntil("'", 1); // a doubled quote inside is two literals back to back
        else if (ch == '"')
            copyUntil("\"", 1);
        else if (ch == '-' && i + 1 < text.size() && text[i + 1] == '-')
            copyUntil("\n", 2);
        else if (ch == '/' && i + 1 < text.size() && text[i + 1] == '*')
            copyUntil("*/", 2);
        else if (ch == ':' && i + 1 < text.size() && text[i + 1] == ':') {
            out.text += "::";
            i += 2;
        } else if (ch == ':' && i + 1 < text.size() && nameStart(text[i + 1])) {
            std::size_t end = i + 1;
            while (end < text.size() && namePart(text[end]))
                ++end;
            out.uses.push_back(upperCase(text.substr(i + 1, end - i - 1)));
            out.text += ":p";
            out.text += std::to_string(out.uses.size());
            i = end;
        } else {
            out.text.push_back(ch);
            ++i;
        }
    }
    return out;
}

TADOIBQuery::TADOIBQuery(SessionSource& source, std::string name) : source_(&source), name_(std::move(name)) {}

TADOIBQuery::~TADOIBQuery() = default;

void TADOIBQuery::setSQL(std::vector<std::string> lines) {
    sql_ = std::move(lines);
    textChanged();
}
void TADOIBQuery::setSQL_ORACLE(std::vector<std::string> lines) {
    sqlOracle_ = std::move(lines);
    textChanged();
}
void TADOIBQuery::setSQL_MSSQL(std::vector<std::string> lines) {
    sqlMssql_ = std::move(lines);
    textChanged();
}
void TADOIBQuery::setSQL_IB(std::vector<std::string> lines) {
    sqlIb_ = std::move(lines);
    textChanged();
}

std::string TADOIBQuery::chosenText() const {
    switch (source_->dialect()) {
    case Dialect::SQLite:
    case Dialect::PostgreSQL:
        return joined(blankText(sqlOracle_) ? sql_ : sqlOracle_);
    }
    return joined(sql_);
}

void TADOIBQuery::textChanged() {
    Close();
    described_ = false;
    parseParams();
}

void TADOIBQuery::parseParams() {
    ParsedText parsed = parseParameters(chosenText());
    std::vector<TParam> params;
    uses_.clear();
    for (const auto& use : parsed.uses) {
        auto it = std::find_if(params.begin(), params.end(),
                               [&](const TParam& p) { return sameName(p.Name, use); });
        if (it == params.end()) {
            TParam param;
            param.Name = use;
            // Keep the value a parameter of the same name had under the previous text.
            const auto old = std::find_if(params_.begin(), params_.end(),
                                          [&](const TParam& p) { return sameName(p.Name, use); });
            if (old != params_.end()) param.AsString = old->AsString;
            params.push_back(std::move(param));
            it = params.end() - 1;
        }
        uses_.push_back(static_cast<std::size_t>(it - params.begin()));
    }
    params_ = std::move(params);
    boundText_ = std::move(parsed.text);
}

QueryField& TADOIBQuery::addField(std::string name, int size, std::string label, int displayWidth,
                                  bool visible, bool required) {
    Close();
    described_ = false;
    fields_.push_back({std::move(name), size, std::move(label), displayWidth, visible, required});
    return fields_.back();
}

TParam& TADOIBQuery::ParamByName(std::string_view name) {
    for (auto& param : params_)
        if (sameName(param.Name, name)) return param;
    definitionFault("Parâmetro " + std::string(name) + " não existe na consulta " + name_);
}

void TADOIBQuery::Close() {
    active_ = false;
    eof_ = false;
    recNo_ = 0;
    rows_.rows.clear();
}

void TADOIBQuery::Open() {
    if (active_) return;
    for (int attempt = 1;; ++attempt) {
        SessionLease lease = source_->borrow();
        Database& session = lease.database();
        try {
            run(session);
            break;
        } catch (const DatabaseError&) {
            session.forget(boundText_);
            Close();
            throw;
        } catch (const std::exception& e) {
            Close();
            session.forget(boundText_);
            if (!session.alive()) {
                lease.discard();
                // A session that waited in the pool may have lost its connection meanwhile (a
                // restarted server, an idle connection dropped on the way); one more try on another
                // session tells that apart from a database that is down. The query only reads, so
                // running it again is harmless.
                if (lease.reused() && attempt == 1) continue;
            }
            throw DatabaseError(DatabaseError::Kind::Query, failureText(name_), e.what());
        }
    }
    active_ = true;
    eof_ = false;
    recNo_ = rows_.rows.empty() ? 0 : 1;
}

void TADOIBQuery::run(Database& session) {
    PreparedStatement& p = session.prepared(boundText_, uses_.size());
    for (std::size_t i = 0; i < uses_.size(); ++i) {
        const auto& value = params_[uses_[i]].AsString.value();
        p.values[i] = value.value_or(std::string());
        p.indicators[i] = value ? soci::i_ok : soci::i_null;
    }

    bool more = p.statement.execute(true);
    if (!described_) {
        const std::size_t columns = p.row.size();
        rows_.fields.clear();
        columnOfField_.clear();
        if (fields_.empty()) {
            for (std::size_t c = 0; c < columns; ++c) {
                rows_.fields.push_back({upperCase(p.row.get_properties(c).get_name()), "string", 0});
                columnOfField_.push_back(static_cast<int>(c));
            }
        } else {
            for (const auto& field : fields_) {
                int found = -1;
                for (std::size_t c = 0; c < columns && found < 0; ++c)
                    if (sameName(p.row.get_properties(c).get_name(), field.name)) found = static_cast<int>(c);
                if (found < 0)
                    definitionFault("Campo " + field.name + " não encontrado no resultado da consulta " + name_);
                rows_.fields.push_back({field.name, "string", field.size});
                columnOfField_.push_back(found);
            }
        }
        described_ = true;
    }
    rows_.rows.clear();
    while (more) {
        auto& out = rows_.rows.emplace_back();
        out.reserve(columnOfField_.size());
        for (int column : columnOfField_) {
            const auto c = static_cast<std::size_t>(column);
            auto value = columnValue(p.row, c);
            if (!value)
                definitionFault("Coluna " + p.row.get_properties(c).get_name() + " da consulta " + name_ +
                                " é de tipo não suportado");
            out.push_back(std::move(*value));
        }
        more = p.statement.fetch();
    }
}

[[noreturn]] void TADOIBQuery::definitionFault(const std::string& detail) const {
    throw DatabaseError(DatabaseError::Kind::Definition, failureText(name_), detail);
}

void TADOIBQuery::moveTo(int recNo) {
    eof_ = false;
    if (rows_.rows.empty()) {
        recNo_ = 0;
        return;
    }
    recNo_ = std::clamp(recNo, 1, recordCount());
}

void TADOIBQuery::Next() {
    if (recNo_ == 0) return;
    if (recNo_ < recordCount())
        ++recNo_;
    else
        eof_ = true;
}

wire::Value TADOIBQuery::value(std::string_view field) const {
    const int index = rows_.fieldIndex(field);
    int found = index;
    if (found < 0)
        for (std::size_t i = 0; i < rows_.fields.size() && found < 0; ++i)
            if (sameName(rows_.fields[i].name, field)) found = static_cast<int>(i);
    if (found < 0) definitionFault("Campo " + std::string(field) + " não existe na consulta " + name_);
    if (recNo_ == 0) definitionFault("A consulta " + name_ + " não tem registro atual");
    return rows_.rows[static_cast<std::size_t>(recNo_ - 1)][static_cast<std::size_t>(found)];
}

} // namespace lib
