#include "toolkit/Utf8.h"

namespace tk::utf8 {

namespace {
bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}
} // namespace

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

std::size_t length(std::string_view text) {
    std::size_t count = 0;
    for (unsigned char byte : text)
        if (!isContinuation(byte)) ++count;
    return count;
}

std::string_view prefix(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    while (pos < text.size() && count > 0) {
        pos += sequenceLength(static_cast<unsigned char>(text[pos]));
        --count;
    }
    return text.substr(0, pos < text.size() ? pos : text.size());
}

void popBack(std::string& text) {
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.back());
        text.pop_back();
        if (!isContinuation(byte)) break;
    }
}

} // namespace tk::utf8
