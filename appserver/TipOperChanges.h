#pragma once

// A SetTipOper request checked against the record before anything touches the database: every field
// name known, every value that would be stored within its size, every row carrying its key. What fails
// here is refused whole, before a transaction starts.

#include "Catalog.h"
#include "wire/Packet.h"

#include <array>
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

struct OperationKey {
    std::string kind; // IDENTRSAIDOP
    std::string code; // CDTIPOOPER

    std::string label() const { return kind + "-" + code; } // "E-05", as users name operation types
    bool operator==(const OperationKey&) const = default;
};

// A packet row laid onto the record: the packet's value of each of the 82 fields, nullptr for a field
// the row does not carry.
using RecordRow = std::array<const wire::Value*, kTipOperFieldCount>;

struct CheckedChange {
    wire::ChangeOp op = wire::ChangeOp::Insert;
    RecordRow oldRow{};
    RecordRow newRow{};
    OperationKey key;    // the stored row addressed: the original key, or the new one of an insert
    OperationKey newKey; // insert and modify
};

// The fields to store as NULL when the packet leaves them empty, from the screen's list "NAME|NAME|".
using EmptyFieldSet = std::bitset<kTipOperFieldCount>;

// Both throw RpcError: kInvalidParams for a malformed list or a name not of the record; kInvalidPacket,
// kValueTooLong for the packet. The returned changes point into `packet`.
EmptyFieldSet parseEmptyFieldList(std::string_view list);
std::vector<CheckedChange> checkTipOperChanges(const wire::ChangePacket& packet);

// NULL and "" are one value when stored values are compared with the original values of a packet: the
// screen shows a NULL column as "", and a field it sent as "" may have been stored as NULL.
inline bool sameStoredValue(const wire::Value* a, const wire::Value& b) {
    const std::string_view x = a && *a ? std::string_view(**a) : std::string_view{};
    const std::string_view y = b ? std::string_view(*b) : std::string_view{};
    return x == y;
}

} // namespace appserver
