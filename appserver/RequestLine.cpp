#include "RequestLine.h"

#include "wire/Rpc.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace appserver {

namespace rpc = wire::rpc;
using nlohmann::json;

namespace {

// Bytes the allocator hands out for a request of n bytes (a 16-byte-aligned chunk with its header).
constexpr std::size_t chunk(std::size_t n) {
    const std::size_t rounded = (n + 8 + 15) & ~std::size_t{15};
    return rounded < 32 ? 32 : rounded;
}

// What each part of a parsed tree costs: a value is 16 bytes wherever it sits; an object holds its
// members in a tree of nodes (key, value and the node's links); an array's slots may be twice what
// it holds right after it grew; strings are a heap object and, past the in-place size, a buffer.
constexpr std::size_t kValueBytes = sizeof(json);
constexpr std::size_t kObjectBytes = chunk(sizeof(json::object_t));
constexpr std::size_t kArrayBytes = chunk(sizeof(json::array_t));
constexpr std::size_t kArraySlotBytes = 2 * kValueBytes;
constexpr std::size_t kMemberBytes = chunk(32 + sizeof(std::string) + kValueBytes);
constexpr std::size_t kStringBytes = chunk(sizeof(std::string));
constexpr std::size_t kInPlaceText = 15;

constexpr std::size_t textBytes(std::size_t length) {
    return length > kInPlaceText ? chunk(length + 1) : 0;
}

// Below this a tree is accepted whatever its ratio: a packet of a hundred whole records costs about six
// times its text, and four lines this size at once are still a small part of the server's memory.
constexpr std::size_t kCostFloor = 4 * 1024 * 1024;

// The first pass: counts, measures and refuses, building nothing. The parser's own token buffer is
// the only memory it uses, as large as the longest string of the line.
class Scanner {
public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    explicit Scanner(LineScan& out) : out_(out) {}

    bool null() { return value(0); }
    bool boolean(bool) { return value(0); }
    bool number_integer(number_integer_t) { return value(0); }
    bool number_unsigned(number_unsigned_t) { return value(0); }
    bool number_float(number_float_t, const string_t&) { return value(0); }
    bool string(string_t& text) { return value(kStringBytes + textBytes(text.size())); }
    bool binary(binary_t&) { return value(0); }
    bool start_object(std::size_t) { return open(true); }
    bool key(string_t& name) {
        out_.treeCost += kMemberBytes + textBytes(name.size());
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(false); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t position, const std::string&, const json::exception& e) {
        // 406: a number the parser cannot hold (1e999999); everything else is malformed text.
        out_.fault = e.id == 406 ? LineScan::Fault::NumberRange : LineScan::Fault::Syntax;
        out_.errorByte = position;
        return false;
    }

private:
    // A value's own cost plus the slot it takes in its container (members pay at their key).
    bool value(std::size_t own) {
        ++out_.values;
        out_.treeCost += own;
        if (depth_ > 0 && !inObject_[static_cast<std::size_t>(depth_)]) out_.treeCost += kArraySlotBytes;
        if (depth_ == 0) out_.treeCost += kValueBytes;
        return true;
    }
    bool open(bool object) {
        if (depth_ == 0) out_.object = object;
        if (!value(object ? kObjectBytes : kArrayBytes)) return false;
        if (depth_ == rpc::kMaxDepth) {
            out_.fault = LineScan::Fault::TooDeep;
            return false;
        }
        ++depth_;
        inObject_[static_cast<std::size_t>(depth_)] = object;
        if (depth_ > out_.maxDepth) out_.maxDepth = depth_;
        return true;
    }
    bool close() {
        --depth_;
        return true;
    }

    LineScan& out_;
    int depth_ = 0;
    std::array<bool, rpc::kMaxDepth + 1> inObject_{};
};

LineRefusal refusal(int code, std::string message, json id = nullptr, bool object = false) {
    return LineRefusal{code, std::move(message), std::move(id), object};
}

// The refusal a scan calls for, if any; and the envelope of a parsed line checked.
std::optional<LineRefusal> refusalOf(const LineScan& scan, std::size_t bytes);
LineResult validated(nlohmann::json tree);

// An id the server can echo exactly: text, null, or an integer within 64 bits. Larger integers and
// fractions would come back altered (as floating point), and the client would not find its answer.
bool validId(const json& id) {
    if (id.is_string() || id.is_null() || (id.is_number_integer() && !id.is_number_unsigned())) return true;
    return id.is_number_unsigned() &&
           id.get<json::number_unsigned_t>() <=
               static_cast<json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max());
}

} // namespace

std::size_t treeCostLimit(std::size_t bytes) {
    return bytes > kCostFloor / 4 ? 4 * bytes : kCostFloor;
}

LineScan scanLine(std::string_view line) {
    LineScan scan;
    if (std::memchr(line.data(), '\0', line.size())) {
        scan.fault = LineScan::Fault::Nul;
        return scan;
    }
    Scanner scanner(scan);
    json::sax_parse(line, &scanner);
    return scan;
}

namespace {

// A line short enough that even its costliest shape stays under the floor, with too few brackets to
// nest past the limit, cannot break a bound: it is built at once, and scanned only if it fails to parse
// (for the reason to give). Nearly every request is such a line.
bool withinBoundsByShape(std::string_view line) {
    if (line.size() > kCostFloor / 64) return false; // the costliest shapes take some 32 times their size
    std::size_t open = 0;
    for (const char c : line)
        open += c == '[' || c == '{';
    return open <= static_cast<std::size_t>(rpc::kMaxDepth) && !std::memchr(line.data(), '\0', line.size());
}

} // namespace

LineResult readRequest(std::string_view line) {
    json tree;
    if (withinBoundsByShape(line)) tree = json::parse(line, nullptr, false);
    if (tree.is_null() || tree.is_discarded()) {
        const LineScan scan = scanLine(line);
        if (auto refused = refusalOf(scan, line.size())) return std::move(*refused);
        // The scan accepted exactly what the parser accepts, so this cannot fail; it is checked anyway.
        tree = json::parse(line, nullptr, false);
        if (tree.is_discarded()) return refusal(rpc::kParseError, "JSON malformado na requisição.");
    }
    return validated(std::move(tree));
}

namespace {

std::optional<LineRefusal> refusalOf(const LineScan& scan, std::size_t bytes) {
    switch (scan.fault) {
    case LineScan::Fault::None:
        break;
    case LineScan::Fault::Syntax:
        return refusal(rpc::kParseError,
                       "JSON malformado na requisição (byte " + std::to_string(scan.errorByte) + ").");
    case LineScan::Fault::Nul:
        return refusal(rpc::kParseError, "Requisição com caractere nulo: a linha foi recusada inteira.");
    case LineScan::Fault::NumberRange:
        return refusal(rpc::kParseError, "Requisição com número fora do intervalo representável.");
    case LineScan::Fault::TooDeep:
        return refusal(rpc::kInvalidRequest, "Requisição com mais de " + std::to_string(rpc::kMaxDepth) +
                                                 " níveis de aninhamento recusada.");
    }
    if (scan.treeCost > treeCostLimit(bytes))
        return refusal(rpc::kRequestTooLarge,
                       "Requisição complexa demais para o seu tamanho (" + std::to_string(scan.values) +
                           " valores em " + std::to_string(bytes) + " bytes); a linha foi recusada.",
                       nullptr, scan.object);
    return std::nullopt;
}

LineResult validated(json tree) {
    if (!tree.is_object())
        return refusal(rpc::kInvalidRequest, "Requisição inválida: esperado um objeto JSON por linha.");

    const auto id = tree.find("id");
    if (id == tree.end())
        return refusal(rpc::kInvalidRequest, "Requisição sem \"id\": notificações não são aceitas.", nullptr,
                       true);
    if (!validId(*id))
        return refusal(rpc::kInvalidRequest,
                       "Requisição com \"id\" inválido: use texto ou um número inteiro de até 64 bits.",
                       nullptr, true);
    Request request;
    request.id = std::move(*id);
    const auto version = tree.find("jsonrpc");
    if (version == tree.end() || *version != "2.0")
        return refusal(rpc::kInvalidRequest, "Requisição inválida: \"jsonrpc\" deve ser \"2.0\".", request.id,
                       true);
    const auto method = tree.find("method");
    if (method == tree.end() || !method->is_string())
        return refusal(rpc::kInvalidRequest, "Requisição inválida: falta o nome do método (\"method\").",
                       request.id, true);
    request.method = std::move(method->get_ref<std::string&>());
    if (const auto params = tree.find("params"); params != tree.end()) {
        request.params = std::move(*params);
        request.hasParams = true;
    }
    return request;
}

} // namespace

} // namespace appserver
