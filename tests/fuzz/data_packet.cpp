// A data packet from raw JSON, as the screen's connection receives it: decoded, and written back by
// both writers to the same packet.

#include "wire/Packet.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nlohmann::json json =
        nlohmann::json::parse(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size,
                              nullptr, false);
    if (json.is_discarded()) return 0;
    wire::DataPacket packet;
    try {
        packet = wire::dataPacketFromJson(json);
    } catch (const wire::FormatError&) {
        return 0;
    }
    const std::string text = wire::dumpDataPacket(packet);
    const nlohmann::json written = nlohmann::json::parse(text, nullptr, false);
    if (written.is_discarded() || written != wire::toJson(packet)) std::abort();
    if (!(wire::dataPacketFromJson(written) == packet)) std::abort();
    return 0;
}
