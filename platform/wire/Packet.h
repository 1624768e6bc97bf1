#pragma once

// Data packets and change packets: the one format in which rows travel between the screen's client
// datasets and the application server. Both sides use this code, so the format lives in one place.
//
// Data packet:   {"fields":[{"name":N,"type":"string","size":S},...],"rows":[[v,...],...]}
// Change packet: {"changes":[{"op":"insert","new":{...}},
//                            {"op":"modify","old":{...},"new":{...}},
//                            {"op":"delete","old":{...}}]}
// Values are strings or null; null is a value of its own, distinct from "".

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wire {

using Value = std::optional<std::string>;

struct FieldDef {
    std::string name;
    std::string type = "string";
    int size = 0;
    bool operator==(const FieldDef&) const = default;
};

struct DataPacket {
    std::vector<FieldDef> fields;
    std::vector<std::vector<Value>> rows;

    int fieldIndex(std::string_view name) const; // -1 when absent
    bool operator==(const DataPacket&) const = default;
};

// A whole row as field -> value, in the field order of the dataset that produced it.
struct Row {
    std::vector<std::pair<std::string, Value>> values;

    const Value* find(std::string_view field) const;
    void set(std::string field, Value value);
    bool operator==(const Row&) const = default;
};

enum class ChangeOp { Insert, Modify, Delete };

struct Change {
    ChangeOp op = ChangeOp::Insert;
    Row oldRow; // modify and delete
    Row newRow; // insert and modify
    bool operator==(const Change&) const = default;
};

struct ChangePacket {
    std::vector<Change> changes;
    bool operator==(const ChangePacket&) const = default;
};

// Thrown when a JSON value is not a well-formed packet; the message is Portuguese and names the fault.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

nlohmann::json toJson(const DataPacket& packet);
nlohmann::json toJson(const ChangePacket& packet);
DataPacket dataPacketFromJson(const nlohmann::json& json);
ChangePacket changePacketFromJson(const nlohmann::json& json);

// Direct writers, several times faster than building a json tree for large packets.
std::string dumpDataPacket(const DataPacket& packet);
void appendJsonString(std::string& out, std::string_view text);

const char* toString(ChangeOp op);

} // namespace wire
