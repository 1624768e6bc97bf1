// The host's reading of an event body, from raw bytes to an event or a refusal: it must never crash,
// never throw anything but its own refusal, and every refusal must be a short text that can travel in
// a JSON answer.

#include "host/Event.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    try {
        const host::Event event = host::readEvent(body);
        if (std::string(host::toString(event.type)) == "?") std::abort();
        if (event.type == host::EventType::Answer && event.answerWord.empty() && !event.answerKeys &&
            !event.answerRecNo)
            std::abort();
    } catch (const host::BadRequest& refusal) {
        const std::string text = refusal.what();
        if (text.empty() || text.size() > 300) std::abort();
        if (text.find("json.exception") != std::string::npos) std::abort();
        (void)nlohmann::json{{"error", text}}.dump(); // throws (and so fails) on text that is not UTF-8
    }
    return 0;
}
