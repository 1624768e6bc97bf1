#pragma once

// One request line read strictly, before anything of it runs. A first pass walks the line without
// building anything: it refuses NUL bytes, nesting deeper than wire::rpc::kMaxDepth and numbers that
// do not fit, and estimates what the parsed tree would cost. Only a line whose tree stays within
// treeCostLimit() is then built, so a line can never make the server hold many times its own size.
// The envelope (jsonrpc, id, method) is checked last. Every refusal carries a stable code and a
// Portuguese message of its own; no parser text ever reaches a client.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace appserver {

struct Request {
    nlohmann::json id; // a string, an integer that fits in 64 bits, or null
    std::string method;
    nlohmann::json params; // null when the request has none
    bool hasParams = false;
};

struct LineRefusal {
    int code = 0;
    std::string message;
    nlohmann::json id;   // the request's id when it could be read, else null
    bool object = false; // the line is a well-formed JSON object
};

using LineResult = std::variant<Request, LineRefusal>;

// Never throws, whatever the bytes.
LineResult readRequest(std::string_view line);

// The most the parsed tree of a line of `bytes` may cost: four times the line, and never less than
// a floor that lets every ordinary request through.
std::size_t treeCostLimit(std::size_t bytes);

// What the first pass found; exposed for tests and the benchmark.
struct LineScan {
    enum class Fault { None, Syntax, Nul, TooDeep, NumberRange };
    Fault fault = Fault::None;
    std::size_t errorByte = 0; // where a syntax error was found (1-based, as the parser counts)
    bool object = false;       // the top-level value is an object
    int maxDepth = 0;
    std::size_t values = 0;
    std::size_t treeCost = 0; // estimated bytes of the parsed tree
};
LineScan scanLine(std::string_view line);

} // namespace appserver
