#include "wire/Packet.h"

#include <nlohmann/json.hpp>

namespace wire {

using nlohmann::json;

int DataPacket::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return static_cast<int>(i);
    return -1;
}

const Value* Row::find(std::string_view field) const {
    for (const auto& [name, value] : values)
        if (name == field) return &value;
    return nullptr;
}

void Row::set(std::string field, Value value) {
    for (auto& [name, v] : values)
        if (name == field) {
            v = std::move(value);
            return;
        }
    values.emplace_back(std::move(field), std::move(value));
}

const char* toString(ChangeOp op) {
    switch (op) {
    case ChangeOp::Insert: return "insert";
    case ChangeOp::Modify: return "modify";
    case ChangeOp::Delete: return "delete";
    }
    return "?";
}

namespace {

json valueJson(const Value& v) { return v ? json(*v) : json(nullptr); }

Value valueFrom(const json& j, const char* where) {
    if (j.is_null()) return std::nullopt;
    if (j.is_string()) return j.get<std::string>();
    throw FormatError(std::string("valor inválido em ") + where + ": esperado texto ou null");
}

json rowJson(const Row& row) {
    json obj = json::object();
    for (const auto& [name, value] : row.values) obj[name] = valueJson(value);
    return obj;
}

Row rowFrom(const json& j, const char* where) {
    if (!j.is_object()) throw FormatError(std::string("linha inválida em ") + where + ": esperado objeto");
    Row row;
    row.values.reserve(j.size());
    for (auto it = j.begin(); it != j.end(); ++it) row.values.emplace_back(it.key(), valueFrom(it.value(), where));
    return row;
}

} // namespace

json toJson(const DataPacket& packet) {
    json fields = json::array();
    for (const auto& f : packet.fields) fields.push_back({{"name", f.name}, {"type", f.type}, {"size", f.size}});
    json rows = json::array();
    for (const auto& r : packet.rows) {
        json row = json::array();
        for (const auto& v : r) row.push_back(valueJson(v));
        rows.push_back(std::move(row));
    }
    return {{"fields", std::move(fields)}, {"rows", std::move(rows)}};
}

DataPacket dataPacketFromJson(const json& j) {
    if (!j.is_object()) throw FormatError("pacote de dados inválido: esperado objeto");
    auto f = j.find("fields");
    auto r = j.find("rows");
    if (f == j.end() || !f->is_array()) throw FormatError("pacote de dados inválido: falta a lista \"fields\"");
    if (r == j.end() || !r->is_array()) throw FormatError("pacote de dados inválido: falta a lista \"rows\"");
    DataPacket p;
    p.fields.reserve(f->size());
    for (const auto& fd : *f) {
        if (!fd.is_object() || !fd.contains("name") || !fd["name"].is_string())
            throw FormatError("pacote de dados inválido: campo sem nome");
        FieldDef def;
        def.name = fd["name"].get<std::string>();
        if (auto t = fd.find("type"); t != fd.end() && t->is_string()) def.type = t->get<std::string>();
        if (auto s = fd.find("size"); s != fd.end()) {
            if (!s->is_number_integer() || s->get<long long>() < 0 || s->get<long long>() > 1'000'000)
                throw FormatError("pacote de dados inválido: tamanho do campo " + def.name);
            def.size = s->get<int>();
        }
        p.fields.push_back(std::move(def));
    }
    p.rows.reserve(r->size());
    for (const auto& row : *r) {
        if (!row.is_array() || row.size() != p.fields.size())
            throw FormatError("pacote de dados inválido: linha com número de valores diferente do de campos");
        std::vector<Value> values;
        values.reserve(row.size());
        for (const auto& v : row) values.push_back(valueFrom(v, "linha do pacote"));
        p.rows.push_back(std::move(values));
    }
    return p;
}

json toJson(const ChangePacket& packet) {
    json changes = json::array();
    for (const auto& c : packet.changes) {
        json obj = {{"op", toString(c.op)}};
        if (c.op != ChangeOp::Insert) obj["old"] = rowJson(c.oldRow);
        if (c.op != ChangeOp::Delete) obj["new"] = rowJson(c.newRow);
        changes.push_back(std::move(obj));
    }
    return {{"changes", std::move(changes)}};
}

ChangePacket changePacketFromJson(const json& j) {
    if (!j.is_object()) throw FormatError("pacote de alterações inválido: esperado objeto");
    auto c = j.find("changes");
    if (c == j.end() || !c->is_array()) throw FormatError("pacote de alterações inválido: falta a lista \"changes\"");
    ChangePacket p;
    for (const auto& ch : *c) {
        if (!ch.is_object() || !ch.contains("op") || !ch["op"].is_string())
            throw FormatError("pacote de alterações inválido: alteração sem \"op\"");
        const auto op = ch["op"].get<std::string>();
        Change change;
        if (op == "insert") change.op = ChangeOp::Insert;
        else if (op == "modify") change.op = ChangeOp::Modify;
        else if (op == "delete") change.op = ChangeOp::Delete;
        else throw FormatError("pacote de alterações inválido: operação desconhecida \"" + op + "\"");
        if (change.op != ChangeOp::Insert) {
            if (!ch.contains("old")) throw FormatError("pacote de alterações inválido: falta \"old\" em " + op);
            change.oldRow = rowFrom(ch["old"], "old");
        }
        if (change.op != ChangeOp::Delete) {
            if (!ch.contains("new")) throw FormatError("pacote de alterações inválido: falta \"new\" em " + op);
            change.newRow = rowFrom(ch["new"], "new");
        }
        p.changes.push_back(std::move(change));
    }
    return p;
}

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (unsigned char ch : text) {
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (ch < 0x20) {
                out += "\\u00";
                out.push_back(hex[ch >> 4]);
                out.push_back(hex[ch & 0xF]);
            } else {
                out.push_back(static_cast<char>(ch));
            }
        }
    }
    out.push_back('"');
}

std::string dumpDataPacket(const DataPacket& packet) {
    std::string out;
    out.reserve(64 + packet.fields.size() * 48 + packet.rows.size() * packet.fields.size() * 6);
    out += "{\"fields\":[";
    for (std::size_t i = 0; i < packet.fields.size(); ++i) {
        if (i) out.push_back(',');
        out += "{\"name\":";
        appendJsonString(out, packet.fields[i].name);
        out += ",\"type\":";
        appendJsonString(out, packet.fields[i].type);
        out += ",\"size\":";
        out += std::to_string(packet.fields[i].size);
        out.push_back('}');
    }
    out += "],\"rows\":[";
    for (std::size_t r = 0; r < packet.rows.size(); ++r) {
        if (r) out.push_back(',');
        out.push_back('[');
        const auto& row = packet.rows[r];
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i) out.push_back(',');
            if (row[i]) appendJsonString(out, *row[i]);
            else out += "null";
        }
        out.push_back(']');
    }
    out += "]}";
    return out;
}

} // namespace wire
