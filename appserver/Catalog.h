#pragma once

// The packets the server sends, field by field: the operation-type record and the lookup lists. Every
// packet carries exactly the fields the receiving dataset declares, in its order and with its sizes.

#include "wire/Packet.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

// One field of the operation-type record. A field with a `joined` expression is the name of a referenced
// entity, read from that entity's table on every load and never written from a packet.
struct RecordField {
    std::string_view name;
    int size;
    const char* joined;

    bool stored() const { return joined == nullptr; }
};

inline constexpr int kTipOperFieldCount = 82;
inline constexpr int kTipOperStoredCount = 78;

// The 82 fields in the dataset's field order.
std::span<const RecordField> tipOperFields();
// Position of a field of the record, -1 when the name is not one of them.
int tipOperFieldIndex(std::string_view name);
// Positions (into tipOperFields) of the columns stored in TIPOOPERAC, in field order.
std::span<const int> tipOperStoredColumns();

// Field definitions of a packet and the opening of its JSON text ({"fields":[...],"rows":[), written
// once so that each answer only appends rows.
struct PacketLayout {
    std::vector<wire::FieldDef> fields;
    std::string head;

    explicit PacketLayout(std::vector<wire::FieldDef> defs);
};

const PacketLayout& tipOperLayout();
const PacketLayout& messageLineLayout();
const PacketLayout& costTypeLayout();
const PacketLayout& priceTableLayout();
const PacketLayout& bonusTypeLayout();
// GetUsoTipOper: the operation types that reference another, and how (kUsageBonus, kUsageOriginDocument).
const PacketLayout& usageLayout();
inline constexpr std::string_view kUsageBonus = "bonificacao";
inline constexpr std::string_view kUsageOriginDocument = "documento-origem";

// Number of characters (code points) of UTF-8 text; sizes of fields count characters, not bytes.
std::size_t utf8Length(std::string_view text);

} // namespace appserver
