#include "Store.h"

#include "Catalog.h"
#include "RpcError.h"
#include "wire/Rpc.h"

#include <algorithm>
#include <charconv>
#include <spdlog/spdlog.h>

namespace appserver {

namespace rpc = wire::rpc;

namespace {

std::string storedColumnList(std::string_view prefix) {
    std::string out;
    const auto fields = tipOperFields();
    for (int index : tipOperStoredColumns()) {
        if (!out.empty()) out += ", ";
        out += prefix;
        out += fields[static_cast<std::size_t>(index)].name;
    }
    return out;
}

} // namespace

std::string Store::recordQuery(std::string_view kindParameter) {
    // The record in field order; the names of referenced entities come from their own tables.
    std::string sql = "SELECT ";
    bool first = true;
    for (const auto& f : tipOperFields()) {
        if (!first) sql += ", ";
        first = false;
        if (f.stored()) {
            sql += "T.";
            sql += f.name;
        } else {
            sql += f.joined;
        }
    }
    sql += " FROM TIPOOPERAC T WHERE T.IDENTRSAIDOP = ";
    sql += kindParameter;
    sql += " ORDER BY T.CDTIPOOPER";
    return sql;
}

std::string Store::sqlOf(Query query, Dialect dialect) {
    // Rows read inside a write transaction are locked on PostgreSQL until the commit, so a concurrent
    // save of the same row waits and then sees this one's result; SQLite's write lock covers the file.
    const char* forUpdate = dialect == Dialect::Postgresql ? " FOR UPDATE" : "";
    switch (query) {
    case Query::TipOper:
        return recordQuery("$1");
    case Query::MessageLines:
        // Ordered by the stored number, not by its text (a bare name would pick the cast output in PostgreSQL
        // and put "10" before "7").
        return "SELECT CAST(M.NRMENSTPOPER AS VARCHAR(10)), M.CDMENSAGEM, M.CDTIPOOPER, M.IDENTRSAIDOP, "
               "M.DSMENSAGEM"
               " FROM MENSTIPOOPER M WHERE M.CDTIPOOPER = $1 AND M.IDENTRSAIDOP = $2 ORDER BY M.NRMENSTPOPER";
    case Query::CostType:
        return "SELECT CDTIPOCUSTO, NMTIPOCUSTO FROM TIPOCUSTO WHERE CDTIPOCUSTO = $1";
    case Query::CostTypes:
        return "SELECT CDTIPOCUSTO, NMTIPOCUSTO FROM TIPOCUSTO ORDER BY CDTIPOCUSTO";
    case Query::PriceTable:
        return "SELECT CDPRECOBASE, DSPRECOBASE FROM TABPRECO WHERE CDPRECOBASE = $1";
    case Query::PriceTables:
        return "SELECT CDPRECOBASE, DSPRECOBASE FROM TABPRECO ORDER BY CDPRECOBASE";
    case Query::BonusType:
        return "SELECT CDTIPOOPER, NMTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER = $1 AND IDENTRSAIDOP = $2";
    case Query::BonusTypes:
        return "SELECT CDTIPOOPER, NMTIPOOPER FROM TIPOOPERAC WHERE IDENTRSAIDOP = $1 ORDER BY CDTIPOOPER";
    case Query::FiscalControl:
        return "SELECT COUNT(*) FROM CONTROLEFISCAL WHERE CDTIPOOPER = $1 AND IDENTRSAIDOP = $2 AND "
               "IDTIPOPARAM = 'D'";
    case Query::CurrentRow:
        return "SELECT " + storedColumnList("") +
               " FROM TIPOOPERAC WHERE IDENTRSAIDOP = $1 AND CDTIPOOPER = $2" + forUpdate;
    case Query::OperationExists:
        return std::string("SELECT CDTIPOOPER FROM TIPOOPERAC WHERE CDTIPOOPER = $1 AND IDENTRSAIDOP = $2") +
               forUpdate;
    case Query::CurrentLine:
        return std::string("SELECT CDTIPOOPER, IDENTRSAIDOP, CDMENSAGEM, DSMENSAGEM FROM MENSTIPOOPER"
                           " WHERE NRMENSTPOPER = $1") +
               forUpdate;
    case Query::LastLine:
        // The line just posted: the type's row is locked, so no other post of its lines runs meanwhile.
        return "SELECT CAST(MAX(NRMENSTPOPER) AS VARCHAR(20)) FROM MENSTIPOOPER"
               " WHERE CDTIPOOPER = $1 AND IDENTRSAIDOP = $2";
    case Query::History:
        // One more than answered, to tell the client that older entries were left out.
        return "SELECT DTALTERACAO, NMUSUARIO, IDOPERACAO, NMTABELA, CAST(NRMENSTPOPER AS VARCHAR(20)), "
               "DSALTERACOES FROM HISTTIPOOPER WHERE CDTIPOOPER = $1 AND IDENTRSAIDOP = $2"
               " ORDER BY NRHISTORICO DESC LIMIT " +
               std::to_string(kMaxHistoryEntries + 1);
    case Query::Usage:
        // Candidates only: a list holding the item's text is split and compared item by item afterwards.
        // SQLite numbers "$N" parameters in the order they first appear, so they appear in order.
        return std::string("SELECT IDENTRSAIDOP, CDTIPOOPER, NMTIPOOPER, CDTIPOOPERBONIF, DSOPERNFORIG"
                           " FROM TIPOOPERAC WHERE (CDTIPOOPERBONIF = $1 AND IDENTRSAIDOP = $2) OR ") +
               (dialect == Dialect::Postgresql ? "strpos(DSOPERNFORIG, $3) > 0" : "instr(DSOPERNFORIG, $3) > 0") +
               " ORDER BY IDENTRSAIDOP, CDTIPOOPER";
    case Query::Count:
        break;
    }
    return {};
}

namespace {

std::string insertSql() {
    std::string values;
    for (int i = 0; i < kTipOperStoredCount; ++i)
        values += (i ? ", :p" : ":p") + std::to_string(i);
    return "INSERT INTO TIPOOPERAC (" + storedColumnList("") + ") VALUES (" + values + ")";
}

std::string updateSql() {
    std::string sql = "UPDATE TIPOOPERAC SET ";
    const auto fields = tipOperFields();
    int i = 0;
    for (int index : tipOperStoredColumns()) {
        if (i) sql += ", ";
        sql += fields[static_cast<std::size_t>(index)].name;
        sql += " = :p" + std::to_string(i++);
    }
    sql += " WHERE IDENTRSAIDOP = :p" + std::to_string(i) + " AND CDTIPOOPER = :p" + std::to_string(i + 1);
    return sql;
}

std::string conflictChanged(const OperationKey& key) {
    return "Registro alterado por outro usuário: tipo de operação " + key.label() +
           ". Recarregue e tente de novo.";
}

std::string conflictVanished(const OperationKey& key) {
    return "Registro excluído por outro usuário: tipo de operação " + key.label() +
           ". Recarregue e tente de novo.";
}

std::string duplicate(const OperationKey& key) {
    return "Tipo de operação " + key.label() + " já cadastrado.";
}

void checkLength(std::string_view value, std::size_t max, const char* field) {
    const std::size_t length = utf8Length(value);
    if (length > max)
        throw RpcError(rpc::kValueTooLong, std::string("Valor do campo ") + field + " tem " +
                                               std::to_string(length) + " caracteres; o máximo é " +
                                               std::to_string(max) + ".");
}

// JSON text of a value, appended in runs between the characters that need escaping; a packet of 1,000
// records is 80,000 values, so this is the inner loop of the largest answer.
void appendJsonText(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
        case '"':
            out.append("\\\"", 2);
            break;
        case '\\':
            out.append("\\\\", 2);
            break;
        case '\n':
            out.append("\\n", 2);
            break;
        case '\r':
            out.append("\\r", 2);
            break;
        case '\t':
            out.append("\\t", 2);
            break;
        default: {
            const char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(escaped, sizeof escaped);
        }
        }
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

constexpr std::string_view kLineFields[] = {"NRMENSTPOPER", "CDMENSAGEM", "CDTIPOOPER", "IDENTRSAIDOP",
                                            "DSMENSAGEM"};

// A row of the message-line packet: only its five fields, and no NUL in any value.
void checkLineRow(const wire::Row& row, int code, std::string_view where) {
    for (const auto& [name, value] : row.values) {
        if (std::find(std::begin(kLineFields), std::end(kLineFields), name) == std::end(kLineFields))
            throw RpcError(code, "Campo desconhecido " + std::string(where) + ": " + shown(name) + ".");
        if (value && value->find('\0') != std::string::npos)
            throw RpcError(code, "O campo " + shown(name) + " contém um caractere nulo.");
    }
}

// The key of an operation type as GetHistTipOper and GetUsoTipOper receive it: the kind "E" or "S" and a
// code of one or two characters.
OperationKey checkedTypeKey(std::string_view code, std::string_view kind, std::string_view method) {
    if (kind != "E" && kind != "S")
        throw RpcError(rpc::kInvalidParams, std::string(method) +
                                                ": o indicador de entrada/saída (IDENTRSAIDOP) deve ser \"E\" ou "
                                                "\"S\", recebido " +
                                                shown(kind) + ".");
    const std::size_t length = utf8Length(code);
    if (length < 1 || length > 2)
        throw RpcError(rpc::kInvalidParams, std::string(method) +
                                                ": o código do tipo de operação (CDTIPOOPER) deve ter 1 ou 2 "
                                                "caracteres, recebido " +
                                                shown(code) + ".");
    return {std::string(kind), std::string(code)};
}

// True when the origin-document list names the item ("E-05"). The list's separator belongs to the
// screen's list search; items are split at any character that cannot be part of one, so "E-05" is
// found in "E-01,E-05" and "E-01;E-05" but not in "E-051".
bool listNames(std::string_view list, std::string_view item) {
    const auto partOfItem = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
    };
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && !partOfItem(list[i]))
            ++i;
        std::size_t end = i;
        while (end < list.size() && partOfItem(list[end]))
            ++end;
        if (end > i && list.substr(i, end - i) == item) return true;
        i = end;
    }
    return false;
}

// A whole message line posted or deleted: its values in the packet's field order, after for an insert,
// before for a delete.
using LineValues = std::array<std::optional<std::string_view>, 5>;
FieldChanges wholeLineChanges(HistoryOp op, const LineValues& values) {
    FieldChanges changes(op);
    const auto& layout = messageLineLayout();
    for (std::size_t c = 0; c < layout.fields.size() && c < values.size(); ++c) {
        if (op == HistoryOp::Insert)
            changes.add(layout.fields[c].name, std::nullopt, values[c]);
        else
            changes.add(layout.fields[c].name, values[c], std::nullopt);
    }
    return changes;
}

std::string lineVanished(const std::string& number, const OperationKey& owner) {
    return "Mensagem " + number + " do tipo de operação " + owner.label() +
           " não encontrada (excluída por outro usuário?). Recarregue e tente de novo.";
}

const char* const kStaleLine = "Mensagem alterada por outro usuário. Recarregue e tente de novo.";

// A line number as stored: digits only, at most the 10 characters of the field.
std::optional<long long> lineNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size() || n < 0) return std::nullopt;
    return n;
}

} // namespace

struct Store::Writes {
    Command insert;
    Command update;
    Command remove;
    Command insertLine;
    Command updateLine;
    Command removeLine;
    Command insertHistory;

    explicit Writes(soci::session& s)
        : insert(s, insertSql(), kTipOperStoredCount), update(s, updateSql(), kTipOperStoredCount + 2),
          remove(s, "DELETE FROM TIPOOPERAC WHERE IDENTRSAIDOP = :p0 AND CDTIPOOPER = :p1", 2),
          insertLine(s,
                     "INSERT INTO MENSTIPOOPER (CDTIPOOPER, IDENTRSAIDOP, CDMENSAGEM, DSMENSAGEM)"
                     " VALUES (:p0, :p1, :p2, :p3)",
                     4),
          updateLine(s,
                     "UPDATE MENSTIPOOPER SET CDMENSAGEM = :p0, DSMENSAGEM = :p1"
                     " WHERE NRMENSTPOPER = :p2 AND CDTIPOOPER = :p3 AND IDENTRSAIDOP = :p4",
                     5),
          removeLine(s, "DELETE FROM MENSTIPOOPER WHERE NRMENSTPOPER = :p0", 1),
          insertHistory(s,
                        "INSERT INTO HISTTIPOOPER (IDENTRSAIDOP, CDTIPOOPER, DTALTERACAO, NMUSUARIO, IDOPERACAO,"
                        " NMTABELA, NRMENSTPOPER, DSALTERACOES) VALUES (:p0, :p1, :p2, :p3, :p4, :p5, :p6, :p7)",
                        8) {}
};

Store::Store(const DatabaseUrl& url) : db_(url) {}
Store::~Store() = default;

Reader& Store::reader(Query query) {
    auto& slot = readers_[static_cast<std::size_t>(query)];
    if (!slot) slot = db_.prepareReader(sqlOf(query, db_.dialect()));
    return *slot;
}

Store::Writes& Store::writes() {
    if (!writes_) writes_ = std::make_unique<Writes>(db_.session());
    return *writes_;
}

std::string Store::packet(Query query, const PacketLayout& layout, std::span<const std::string_view> params) {
    ReaderScope rows(reader(query), params);
    auto& last = lastSize_[static_cast<std::size_t>(query)];
    std::string out;
    out.reserve(std::max(last, layout.head.size() + 16));
    out += layout.head;
    const int columns = static_cast<int>(layout.fields.size());
    bool first = true;
    while (rows.next()) {
        if (!first) out.push_back(',');
        first = false;
        out.push_back('[');
        for (int c = 0; c < columns; ++c) {
            if (c) out.push_back(',');
            if (const auto v = rows.value(c))
                appendJsonText(out, *v);
            else
                out.append("null", 4);
        }
        out.push_back(']');
    }
    out += "]}";
    last = out.size() + out.size() / 8;
    return out;
}

std::string Store::getTipOper(std::string_view kind) {
    const std::string_view params[] = {kind};
    return packet(Query::TipOper, tipOperLayout(), params);
}

// The screen loads GetTipOper and then GetFiltro and keeps the second; both select the operation types
// of the kind, so a reload shows exactly what a first load shows.
std::string Store::getFiltro(std::string_view kind) {
    return getTipOper(kind);
}

std::string Store::getMensTipoOper(std::string_view code, std::string_view kind) {
    const std::string_view params[] = {code, kind};
    return packet(Query::MessageLines, messageLineLayout(), params);
}

std::string Store::getVdCusto(std::string_view code) {
    const std::string_view params[] = {code};
    return packet(Query::CostType, costTypeLayout(), params);
}

std::string Store::getCusto() {
    return packet(Query::CostTypes, costTypeLayout(), {});
}

std::string Store::getVdPreco(std::string_view code) {
    const std::string_view params[] = {code};
    return packet(Query::PriceTable, priceTableLayout(), params);
}

std::string Store::getPreco() {
    return packet(Query::PriceTables, priceTableLayout(), {});
}

std::string Store::getVdBonif(std::string_view code, std::string_view kind) {
    const std::string_view params[] = {code, kind};
    return packet(Query::BonusType, bonusTypeLayout(), params);
}

std::string Store::getBonificacao(std::string_view kind) {
    const std::string_view params[] = {kind};
    return packet(Query::BonusTypes, bonusTypeLayout(), params);
}

bool Store::getVdControleFiscal(std::string_view code, std::string_view kind) {
    const std::string_view params[] = {code, kind};
    ReaderScope rows(reader(Query::FiscalControl), params);
    if (!rows.next()) return false;
    const auto count = rows.value(0);
    return count && *count != "0";
}

bool Store::loadCurrent(const OperationKey& key) {
    const std::string_view params[] = {key.kind, key.code};
    ReaderScope rows(reader(Query::CurrentRow), params);
    if (!rows.next()) return false;
    for (int i = 0; i < kTipOperStoredCount; ++i) {
        auto& slot = current_[static_cast<std::size_t>(i)];
        if (const auto v = rows.value(i))
            slot.emplace(*v);
        else
            slot.reset();
    }
    return true;
}

bool Store::operationExists(std::string_view code, std::string_view kind) {
    const std::string_view params[] = {code, kind};
    ReaderScope rows(reader(Query::OperationExists), params);
    return rows.next();
}

Store::StoredValues Store::valuesToStore(const CheckedChange& change, const EmptyFieldSet& emptyFields,
                                         bool keepCurrent) const {
    StoredValues values;
    int position = 0;
    for (int index : tipOperStoredColumns()) {
        const auto field = static_cast<std::size_t>(index);
        auto& value = values[static_cast<std::size_t>(position)];
        if (const auto* v = change.newRow[field]) {
            if (*v) value = **v;
        } else if (keepCurrent) {
            // A field the row does not carry keeps what is stored.
            if (const auto& stored = current_[static_cast<std::size_t>(position)]) value = *stored;
        }
        // The list was taken before the screen filled some flags: a field named there that now holds a
        // value keeps it; only an empty one becomes NULL.
        if (emptyFields.test(field) && value && value->empty()) value.reset();
        ++position;
    }
    return values;
}

Store::StoredValues Store::storedView() const {
    StoredValues values;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (current_[i]) values[i] = *current_[i];
    return values;
}

void Store::bindRow(Command& command, const StoredValues& values) {
    for (int i = 0; i < kTipOperStoredCount; ++i)
        command.set(i, values[static_cast<std::size_t>(i)]);
}

void Store::recordHistory(const HistoryStamp& stamp, const OperationKey& key, std::string_view table,
                          std::optional<std::string_view> line, const FieldChanges& changes) {
    // A modify that changes no value changed nothing anyone could read back.
    if (changes.empty()) return;
    auto& w = writes();
    w.insertHistory.set(0, key.kind);
    w.insertHistory.set(1, key.code);
    w.insertHistory.set(2, stamp.at);
    w.insertHistory.set(3, stamp.user);
    w.insertHistory.set(4, historyOpName(changes.op()));
    w.insertHistory.set(5, table);
    w.insertHistory.set(6, line);
    const std::string text = changes.json();
    w.insertHistory.set(7, text);
    w.insertHistory.execute();
}

void Store::recordRecordChange(const HistoryStamp& stamp, const OperationKey& key, HistoryOp op,
                               const StoredValues& before, const StoredValues& after) {
    FieldChanges changes(op);
    const auto fields = tipOperFields();
    int position = 0;
    for (int index : tipOperStoredColumns()) {
        const auto p = static_cast<std::size_t>(position++);
        changes.add(fields[static_cast<std::size_t>(index)].name, before[p], after[p]);
    }
    recordHistory(stamp, key, kHistoryRecordTable, std::nullopt, changes);
}

// The message lines an operation type's deletion takes with it, each recorded as deleted.
void Store::recordLineDeletions(const HistoryStamp& stamp, const OperationKey& owner) {
    struct Line {
        std::string number;
        FieldChanges changes;
    };
    std::vector<Line> lines;
    {
        const std::string_view params[] = {owner.code, owner.kind};
        ReaderScope rows(reader(Query::MessageLines), params);
        while (rows.next())
            lines.push_back({std::string(rows.text(0)),
                             wholeLineChanges(HistoryOp::Delete, {rows.value(0), rows.value(1), rows.value(2),
                                                                  rows.value(3), rows.value(4)})});
    }
    for (const auto& line : lines)
        recordHistory(stamp, owner, kHistoryLineTable, line.number, line.changes);
}

void Store::applyChange(const CheckedChange& change, const EmptyFieldSet& emptyFields,
                        const HistoryStamp& stamp) {
    auto& w = writes();
    const auto matchesOriginal = [&] {
        int position = 0;
        for (int index : tipOperStoredColumns()) {
            const auto* original = change.oldRow[static_cast<std::size_t>(index)];
            const auto& stored = current_[static_cast<std::size_t>(position++)];
            if (original && !sameStoredValue(original, stored)) return false;
        }
        return true;
    };
    try {
        switch (change.op) {
        case wire::ChangeOp::Insert:
            if (loadCurrent(change.newKey)) throw RpcError(rpc::kDuplicateKey, duplicate(change.newKey));
            {
                const StoredValues after = valuesToStore(change, emptyFields, false);
                bindRow(w.insert, after);
                w.insert.execute();
                recordRecordChange(stamp, change.newKey, HistoryOp::Insert, {}, after);
            }
            break;
        case wire::ChangeOp::Modify:
            if (!loadCurrent(change.key)) throw RpcError(rpc::kConflict, conflictVanished(change.key));
            if (!matchesOriginal()) throw RpcError(rpc::kConflict, conflictChanged(change.key));
            if (change.newKey != change.key && operationExists(change.newKey.code, change.newKey.kind))
                throw RpcError(rpc::kDuplicateKey, duplicate(change.newKey));
            {
                const StoredValues after = valuesToStore(change, emptyFields, true);
                bindRow(w.update, after);
                w.update.set(kTipOperStoredCount, change.key.kind);
                w.update.set(kTipOperStoredCount + 1, change.key.code);
                if (w.update.execute() != 1) throw RpcError(rpc::kConflict, conflictVanished(change.key));
                // A key change is recorded under the new key; its entry shows the old one.
                recordRecordChange(stamp, change.newKey, HistoryOp::Modify, storedView(), after);
            }
            break;
        case wire::ChangeOp::Delete:
            if (!loadCurrent(change.key)) throw RpcError(rpc::kConflict, conflictVanished(change.key));
            if (!matchesOriginal()) throw RpcError(rpc::kConflict, conflictChanged(change.key));
            // The type's message lines go with it (by the foreign key); each is recorded as deleted first,
            // so the type's own entry comes before them, newest first.
            recordLineDeletions(stamp, change.key);
            w.remove.set(0, change.key.kind);
            w.remove.set(1, change.key.code);
            if (w.remove.execute() != 1) throw RpcError(rpc::kConflict, conflictVanished(change.key));
            recordRecordChange(stamp, change.key, HistoryOp::Delete, storedView(), {});
            break;
        }
    } catch (const RpcError&) {
        throw;
    } catch (const std::exception& e) {
        // Another session inserted the same key between the check and the insert (PostgreSQL).
        if (classifyDbFailure(e) == DbFailure::UniqueViolation)
            throw RpcError(rpc::kDuplicateKey, duplicate(change.newKey));
        throw;
    }
}

void Store::setTipOper(const wire::ChangePacket& packet, std::string_view emptyFields, const Identity& who) {
    const EmptyFieldSet empty = parseEmptyFieldList(emptyFields);
    const auto changes = checkTipOperChanges(packet);
    if (changes.empty()) return;
    writes();
    const HistoryStamp stamp{who.user, historyTime()};
    Transaction tx(db_);
    for (const auto& change : changes)
        applyChange(change, empty, stamp);
    tx.commit();
    spdlog::debug("{}: {} alteração(ões) de tipos de operação gravada(s)", who.user, changes.size());
}

void Store::setMensTipOper(const MessageLineArgs& args, const wire::ChangePacket* deletions,
                           const Identity& who) {
    if (args.original) checkLineRow(*args.original, rpc::kInvalidParams, "na linha original da mensagem");
    const HistoryStamp stamp{who.user, historyTime()};
    if (args.operation == "C") {
        postLine(args, stamp);
        spdlog::debug("{}: mensagem do tipo de operação {}-{} gravada", who.user, args.kind, args.code);
    } else if (args.operation == "D") {
        if (!deletions)
            throw RpcError(rpc::kInvalidParams, "SetMensTipOper \"D\" exige o pacote de alterações.");
        deleteLines(args, *deletions, stamp);
        spdlog::debug("{}: mensagens do tipo de operação {}-{} excluídas", who.user, args.kind, args.code);
    } else {
        throw RpcError(rpc::kInvalidParams, "Operação de mensagem desconhecida: " + shown(args.operation) +
                                                "; use \"C\" (gravar) ou \"D\" (excluir).");
    }
}

void Store::postLine(const MessageLineArgs& args, const HistoryStamp& stamp) {
    const OperationKey key{std::string(args.kind), std::string(args.code)};
    checkLength(args.code, 2, "CDTIPOOPER");
    checkLength(args.kind, 1, "IDENTRSAIDOP");
    checkLength(args.messageCode, 3, "CDMENSAGEM");
    checkLength(args.text, 120, "DSMENSAGEM");
    std::optional<long long> number;
    if (!args.number.empty()) {
        number = lineNumber(args.number);
        if (!number)
            throw RpcError(rpc::kInvalidParams, "Número da mensagem inválido: " + shown(args.number) +
                                                    " (esperados até 10 dígitos).");
        // Without the line as it was read, another user's change made since would be overwritten
        // unseen; a caller that does not send it can still post new lines and delete.
        if (!args.original)
            throw RpcError(rpc::kInvalidParams,
                           "SetMensTipOper \"C\" de uma mensagem já gravada exige a linha como foi lida "
                           "(8º argumento, com CDMENSAGEM e DSMENSAGEM). Atualize a tela e tente de novo.");
        for (const char* field : {"CDMENSAGEM", "DSMENSAGEM"})
            if (!args.original->find(field))
                throw RpcError(rpc::kInvalidParams, std::string("A linha original da mensagem não traz ") +
                                                        field + ".");
        if (const auto* nr = args.original->find("NRMENSTPOPER");
            nr && *nr && !(*nr)->empty() && lineNumber(**nr) != number)
            throw RpcError(rpc::kInvalidParams, "A linha original é de outra mensagem (" + shown(**nr) + ").");
    }
    auto& w = writes();
    Transaction tx(db_);
    if (!operationExists(args.code, args.kind))
        throw RpcError(rpc::kConflict,
                       "Tipo de operação " + key.label() +
                           " não cadastrado (excluído por outro usuário?). Recarregue e tente de novo.");
    if (!number) {
        w.insertLine.set(0, args.code);
        w.insertLine.set(1, args.kind);
        w.insertLine.set(2, args.messageCode);
        w.insertLine.set(3, args.text);
        w.insertLine.execute();
        std::string posted;
        {
            const std::string_view params[] = {args.code, args.kind};
            ReaderScope last(reader(Query::LastLine), params);
            if (last.next()) posted = std::string(last.text(0));
        }
        const FieldChanges changes =
            wholeLineChanges(HistoryOp::Insert, {posted, args.messageCode, args.code, args.kind, args.text});
        recordHistory(stamp, key, kHistoryLineTable,
                      posted.empty() ? std::nullopt : std::optional<std::string_view>(posted), changes);
    } else {
        const std::string n = std::to_string(*number);
        const LineText before = checkCurrentLine(n, key, *args.original);
        w.updateLine.set(0, args.messageCode);
        w.updateLine.set(1, args.text);
        w.updateLine.set(2, n);
        w.updateLine.set(3, args.code);
        w.updateLine.set(4, args.kind);
        if (w.updateLine.execute() != 1) throw RpcError(rpc::kConflict, lineVanished(n, key));
        FieldChanges changes(HistoryOp::Modify);
        changes.add("CDMENSAGEM", before.code, args.messageCode);
        changes.add("DSMENSAGEM", before.text, args.text);
        recordHistory(stamp, key, kHistoryLineTable, n, changes);
    }
    tx.commit();
}

void Store::deleteLines(const MessageLineArgs& args, const wire::ChangePacket& deletions,
                        const HistoryStamp& stamp) {
    struct Target {
        std::string number;
        const wire::Row* old;
    };
    std::vector<Target> targets;
    bool anyDelete = false;
    for (const auto& change : deletions.changes) {
        if (change.op != wire::ChangeOp::Delete) continue; // pending posts of other lines are not this call's
        anyDelete = true;
        checkLineRow(change.oldRow, rpc::kInvalidPacket, "no pacote de mensagens");
        const auto* nr = change.oldRow.find("NRMENSTPOPER");
        // A line that never reached the server has no number and nothing to delete here.
        if (!nr || !*nr || (*nr)->empty()) continue;
        const auto number = lineNumber(**nr);
        if (!number)
            throw RpcError(rpc::kInvalidPacket,
                           "Número da mensagem inválido no pacote: " + shown(**nr) + ".");
        for (const char* field : {"CDMENSAGEM", "DSMENSAGEM"})
            if (!change.oldRow.find(field))
                throw RpcError(rpc::kInvalidPacket, "Exclusão da mensagem " + std::to_string(*number) +
                                                        " sem o valor original de " + field + ".");
        targets.push_back({std::to_string(*number), &change.oldRow});
    }
    if (!anyDelete)
        throw RpcError(rpc::kInvalidPacket,
                       "O pacote de alterações de SetMensTipOper \"D\" não contém exclusões.");
    if (targets.empty()) return;

    auto& w = writes();
    Transaction tx(db_);
    for (const auto& target : targets) {
        const auto field = [&](std::string_view name, std::string_view fallback) -> std::string {
            const auto* v = target.old->find(name);
            return v && *v && !(*v)->empty() ? **v : std::string(fallback);
        };
        const OperationKey owner{field("IDENTRSAIDOP", args.kind), field("CDTIPOOPER", args.code)};
        const LineText before = checkCurrentLine(target.number, owner, *target.old);
        w.removeLine.set(0, target.number);
        if (w.removeLine.execute() != 1) throw RpcError(rpc::kConflict, lineVanished(target.number, owner));
        const FieldChanges changes = wholeLineChanges(
            HistoryOp::Delete, {target.number, before.code, owner.code, owner.kind, before.text});
        recordHistory(stamp, owner, kHistoryLineTable, target.number, changes);
    }
    tx.commit();
}

// Inside the write's transaction (the line is locked on PostgreSQL): the line must still belong to the
// operation type and hold the code and text the client read, NULL and "" being one value.
Store::LineText Store::checkCurrentLine(const std::string& number, const OperationKey& owner,
                                        const wire::Row& original) {
    const std::string_view params[] = {number};
    ReaderScope line(reader(Query::CurrentLine), params);
    if (!line.next() || line.text(0) != owner.code || line.text(1) != owner.kind)
        throw RpcError(rpc::kConflict, lineVanished(number, owner));
    for (int column : {2, 3}) {
        const auto v = line.value(column);
        const wire::Value stored = v ? wire::Value{std::string(*v)} : wire::Value{};
        if (!sameStoredValue(original.find(column == 2 ? "CDMENSAGEM" : "DSMENSAGEM"), stored))
            throw RpcError(rpc::kConflict, kStaleLine);
    }
    LineText found;
    if (const auto v = line.value(2)) found.code.emplace(*v);
    if (const auto v = line.value(3)) found.text.emplace(*v);
    return found;
}

std::string Store::getHistTipOper(std::string_view code, std::string_view kind) {
    checkedTypeKey(code, kind, "GetHistTipOper");
    const std::string_view params[] = {code, kind};
    ReaderScope rows(reader(Query::History), params);
    auto& last = lastSize_[static_cast<std::size_t>(Query::History)];
    std::string out;
    out.reserve(std::max<std::size_t>(last, 64));
    out += "{\"entries\":[";
    int count = 0;
    bool truncated = false;
    while (rows.next()) {
        if (count == kMaxHistoryEntries) {
            truncated = true;
            break;
        }
        if (count++) out.push_back(',');
        out += "{\"at\":";
        appendJsonText(out, rows.text(0));
        out += ",\"user\":";
        appendJsonText(out, rows.text(1));
        out += ",\"op\":";
        appendJsonText(out, rows.text(2));
        out += ",\"table\":";
        appendJsonText(out, rows.text(3));
        out += ",\"line\":";
        if (const auto line = rows.value(4))
            appendJsonText(out, *line);
        else
            out += "null";
        // Written by this server as a JSON array of the changes; copied as it is.
        out += ",\"changes\":";
        const auto changes = rows.text(5);
        out += changes.empty() ? std::string_view("[]") : changes;
        out.push_back('}');
    }
    out += "],\"truncated\":";
    out += truncated ? "true" : "false";
    out.push_back('}');
    last = out.size() + out.size() / 8;
    return out;
}

std::string Store::getUsoTipOper(std::string_view code, std::string_view kind) {
    const OperationKey key = checkedTypeKey(code, kind, "GetUsoTipOper");
    const std::string item = key.label();
    const std::string_view params[] = {code, kind, item};
    const auto& layout = usageLayout();
    std::string out = layout.head;
    bool first = true;
    const auto addRow = [&](std::string_view rowKind, std::string_view rowCode, std::optional<std::string_view> name,
                            std::string_view how) {
        if (!first) out.push_back(',');
        first = false;
        out.push_back('[');
        appendJsonText(out, rowKind);
        out.push_back(',');
        appendJsonText(out, rowCode);
        out.push_back(',');
        if (name)
            appendJsonText(out, *name);
        else
            out += "null";
        out.push_back(',');
        appendJsonText(out, how);
        out.push_back(']');
    };
    ReaderScope rows(reader(Query::Usage), params);
    while (rows.next()) {
        const std::string_view rowKind = rows.text(0), rowCode = rows.text(1);
        // A type naming itself leaves nothing dangling when it is deleted.
        if (rowKind == key.kind && rowCode == key.code) continue;
        if (rowKind == key.kind && rows.text(3) == key.code) addRow(rowKind, rowCode, rows.value(2), kUsageBonus);
        if (listNames(rows.text(4), item)) addRow(rowKind, rowCode, rows.value(2), kUsageOriginDocument);
    }
    out += "]}";
    return out;
}

} // namespace appserver
