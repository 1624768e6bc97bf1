// A change packet from raw JSON, as SetTipOper receives it: decoded, checked against the record, and
// written back unchanged. The bytes first pass the bounds the server applies to every line.

#include "RequestLine.h"
#include "RpcError.h"
#include "TipOperChanges.h"
#include "wire/Packet.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto scan = appserver::scanLine(text);
    if (scan.fault != appserver::LineScan::Fault::None || scan.treeCost > appserver::treeCostLimit(size)) return 0;
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) return 0;
    wire::ChangePacket packet;
    try {
        packet = wire::changePacketFromJson(json);
    } catch (const wire::FormatError&) {
        return 0;
    }
    if (wire::changePacketFromJson(wire::toJson(packet)) != packet) std::abort();
    try {
        const auto changes = appserver::checkTipOperChanges(packet);
        if (changes.size() != packet.changes.size()) std::abort();
        for (const auto& c : changes)
            if (c.op != wire::ChangeOp::Delete && c.newKey.kind != "E" && c.newKey.kind != "S") std::abort();
    } catch (const appserver::RpcError& e) {
        if (e.code() == 0 || std::string_view(e.what()).empty()) std::abort();
    }
    return 0;
}
