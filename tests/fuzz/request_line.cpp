// The server's reading of one request line, from raw bytes to a validated request or a refusal: it
// must never crash, never build a line beyond its bounds, and never answer with the parser's own text.

#include "RequestLine.h"
#include "wire/Rpc.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const appserver::LineScan scan = appserver::scanLine(line);
    const appserver::LineResult result = appserver::readRequest(line);
    if (const auto* request = std::get_if<appserver::Request>(&result)) {
        if (scan.fault != appserver::LineScan::Fault::None || scan.maxDepth > wire::rpc::kMaxDepth ||
            scan.treeCost > appserver::treeCostLimit(size) || !scan.object)
            std::abort();
        const auto& id = request->id;
        const bool echoable = id.is_string() || id.is_null() || id.is_number_integer();
        if (!echoable) std::abort();
        if (id.is_number_unsigned() &&
            id.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            std::abort();
        if (!request->hasParams && !request->params.is_null()) std::abort();
    } else {
        const auto& refusal = std::get<appserver::LineRefusal>(result);
        if (refusal.code == 0 || refusal.message.empty()) std::abort();
        if (refusal.message.find("json.exception") != std::string::npos) std::abort();
        if (refusal.object && scan.fault != appserver::LineScan::Fault::None) std::abort();
    }
    return 0;
}
