#include "TipOperChanges.h"

#include "RpcError.h"
#include "wire/Rpc.h"

namespace appserver {

namespace rpc = wire::rpc;

EmptyFieldSet parseEmptyFieldList(std::string_view list) {
    EmptyFieldSet set;
    if (list.empty()) return set;
    if (list.back() != '|')
        throw RpcError(rpc::kInvalidParams,
                       "Lista de campos vazios malformada: cada nome deve terminar com \"|\" (recebido " +
                           shown(list) + ").");
    list.remove_suffix(1);
    while (true) {
        const auto bar = list.find('|');
        const std::string_view name = list.substr(0, bar);
        const int index = tipOperFieldIndex(name);
        if (index < 0)
            throw RpcError(rpc::kInvalidParams,
                           "Campo desconhecido na lista de campos vazios: " + shown(name) + ".");
        set.set(static_cast<std::size_t>(index));
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return set;
}

namespace {

RecordRow layRow(const wire::Row& row) {
    RecordRow out{};
    for (const auto& [name, value] : row.values) {
        const int index = tipOperFieldIndex(name);
        if (index < 0)
            throw RpcError(rpc::kInvalidPacket, "Campo desconhecido no pacote: " + shown(name) + ".");
        if (value && value->find('\0') != std::string::npos)
            throw RpcError(rpc::kInvalidPacket, "O campo " + shown(name) + " contém um caractere nulo.");
        out[static_cast<std::size_t>(index)] = &value;
    }
    return out;
}

std::string valueOf(const RecordRow& row, std::string_view field) {
    const auto* v = row[static_cast<std::size_t>(tipOperFieldIndex(field))];
    return v && *v ? **v : std::string{};
}

OperationKey originalKey(const RecordRow& row, const char* op) {
    const auto* kind = row[static_cast<std::size_t>(tipOperFieldIndex("IDENTRSAIDOP"))];
    const auto* code = row[static_cast<std::size_t>(tipOperFieldIndex("CDTIPOOPER"))];
    if (!kind || !*kind || !code || !*code)
        throw RpcError(rpc::kInvalidPacket, std::string("Alteração do tipo \"") + op +
                                                "\" sem a chave original (IDENTRSAIDOP e CDTIPOOPER).");
    return {**kind, **code};
}

// A modified or deleted row is compared with the stored one column by column; a column missing from
// the original would let a stale save overwrite another user's change of it unnoticed.
void requireWholeOriginal(const RecordRow& row, const OperationKey& key, const char* op) {
    const auto fields = tipOperFields();
    for (int index : tipOperStoredColumns()) {
        if (row[static_cast<std::size_t>(index)]) continue;
        throw RpcError(rpc::kInvalidPacket, std::string("Alteração do tipo \"") + op +
                                                "\" do tipo de operação " + key.label() +
                                                " sem o valor original do campo " +
                                                std::string(fields[static_cast<std::size_t>(index)].name) +
                                                ": o pacote deve trazer o registro inteiro, como foi lido.");
    }
}

// Values that will be written: the key must name an operation type, every stored value must fit.
OperationKey checkNewRow(const RecordRow& row) {
    OperationKey key{valueOf(row, "IDENTRSAIDOP"), valueOf(row, "CDTIPOOPER")};
    if (key.kind != "E" && key.kind != "S")
        throw RpcError(rpc::kInvalidPacket,
                       "Indicador de entrada/saída (IDENTRSAIDOP) deve ser \"E\" ou \"S\", recebido " +
                           shown(key.kind) + ".");
    if (key.code.empty()) throw RpcError(rpc::kInvalidPacket, "Tipo de operação sem código (CDTIPOOPER).");
    const auto fields = tipOperFields();
    for (int index : tipOperStoredColumns()) {
        const auto* v = row[static_cast<std::size_t>(index)];
        if (!v || !*v) continue;
        const auto& field = fields[static_cast<std::size_t>(index)];
        const std::size_t length = utf8Length(**v);
        if (length > static_cast<std::size_t>(field.size))
            throw RpcError(rpc::kValueTooLong, "Valor do campo " + std::string(field.name) +
                                                   " do tipo de operação " + key.label() + " tem " +
                                                   std::to_string(length) + " caracteres; o máximo é " +
                                                   std::to_string(field.size) + ".");
    }
    return key;
}

} // namespace

std::vector<CheckedChange> checkTipOperChanges(const wire::ChangePacket& packet) {
    std::vector<CheckedChange> out;
    out.reserve(packet.changes.size());
    for (const auto& change : packet.changes) {
        CheckedChange c;
        c.op = change.op;
        switch (change.op) {
        case wire::ChangeOp::Insert:
            c.newRow = layRow(change.newRow);
            c.newKey = checkNewRow(c.newRow);
            c.key = c.newKey;
            break;
        case wire::ChangeOp::Modify:
            c.oldRow = layRow(change.oldRow);
            c.newRow = layRow(change.newRow);
            c.key = originalKey(c.oldRow, "modify");
            requireWholeOriginal(c.oldRow, c.key, "modify");
            // A row that does not carry its key keeps the stored one.
            for (const char* keyField : {"IDENTRSAIDOP", "CDTIPOOPER"}) {
                const auto i = static_cast<std::size_t>(tipOperFieldIndex(keyField));
                if (!c.newRow[i]) c.newRow[i] = c.oldRow[i];
            }
            c.newKey = checkNewRow(c.newRow);
            break;
        case wire::ChangeOp::Delete:
            c.oldRow = layRow(change.oldRow);
            c.key = originalKey(c.oldRow, "delete");
            requireWholeOriginal(c.oldRow, c.key, "delete");
            break;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace appserver
