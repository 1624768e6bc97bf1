#include "toolkit/DataSetRow.h"

#include <cstring>

namespace tk::detail {

namespace {

std::size_t bitmapBytes(int count) {
    return (static_cast<std::size_t>(count) + 7) / 8;
}

} // namespace

std::string packRow(const Slot* slots, int count) {
    std::size_t dataBytes = 0;
    for (int i = 0; i < count; ++i)
        if (!slots[i].null) dataBytes += slots[i].text.size();
    // Two-byte offsets cover every realistic record; wider rows switch the whole row to four bytes.
    const std::size_t width = dataBytes <= 0xFFFF ? 2 : 4;
    const std::size_t header = 1 + bitmapBytes(count);
    const std::size_t offsets = static_cast<std::size_t>(count) * width;

    std::string row;
    row.resize(header + offsets + dataBytes);
    char* out = row.data();
    out[0] = static_cast<char>(width);
    std::memset(out + 1, 0, header - 1);
    char* offsetAt = out + header;
    char* dataAt = out + header + offsets;
    std::uint32_t end = 0;
    for (int i = 0; i < count; ++i) {
        if (slots[i].null) {
            out[1 + i / 8] = static_cast<char>(static_cast<unsigned char>(out[1 + i / 8]) | (1u << (i % 8)));
        } else {
            const std::size_t size = slots[i].text.size();
            // Most values are one-character flags: a plain store beats a call to memcpy.
            if (size == 1)
                dataAt[end] = slots[i].text[0];
            else if (size > 1)
                std::memcpy(dataAt + end, slots[i].text.data(), size);
            end += static_cast<std::uint32_t>(size);
        }
        if (width == 2) {
            const auto narrow = static_cast<std::uint16_t>(end);
            std::memcpy(offsetAt + static_cast<std::size_t>(i) * 2, &narrow, 2);
        } else {
            std::memcpy(offsetAt + static_cast<std::size_t>(i) * 4, &end, 4);
        }
    }
    return row;
}

std::size_t RowView::endOffset(int field) const {
    const std::size_t width = static_cast<unsigned char>(bytes_[0]);
    const char* at = bytes_.data() + 1 + bitmapBytes(count_) + static_cast<std::size_t>(field) * width;
    if (width == 2) {
        std::uint16_t narrow;
        std::memcpy(&narrow, at, 2);
        return narrow;
    }
    std::uint32_t wide;
    std::memcpy(&wide, at, 4);
    return wide;
}

std::string_view RowView::text(int field) const {
    const std::size_t width = static_cast<unsigned char>(bytes_[0]);
    const std::size_t data = 1 + bitmapBytes(count_) + static_cast<std::size_t>(count_) * width;
    const std::size_t begin = field == 0 ? 0 : endOffset(field - 1);
    const std::size_t end = endOffset(field);
    return bytes_.substr(data + begin, end - begin);
}

std::size_t utf8PrefixBytesSlow(std::string_view text, int maxChars) {
    int chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (continuation && i != 0) continue;
        if (chars == maxChars) return i;
        ++chars;
    }
    return text.size();
}

namespace {

// Reads one character for case-insensitive comparison and returns its folded code point; `i`
// advances past it. Only ASCII and two-byte Latin-1 letters are folded; other bytes compare as they
// are (each byte on its own, which is exact for well-formed and malformed text alike).
std::uint32_t foldedAt(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return (b0 >= 'A' && b0 <= 'Z') ? b0 + 32u : b0;
    }
    if (b0 == 0xC3 && i + 1 < s.size()) {
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        if ((b1 & 0xC0) == 0x80) {
            i += 2;
            std::uint32_t cp = 0xC0u + (b1 & 0x3Fu);
            // À..Þ fold to à..þ, except the multiplication sign.
            if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) cp += 0x20;
            return cp;
        }
    }
    ++i;
    return 0x110000u + b0; // outside Unicode: a raw byte never equals a folded letter
}

} // namespace

bool startsWithText(std::string_view text, std::string_view prefix, bool caseInsensitive) {
    if (!caseInsensitive) return text.substr(0, prefix.size()) == prefix;
    std::size_t i = 0, j = 0;
    while (j < prefix.size()) {
        if (i >= text.size()) return false;
        if (foldedAt(text, i) != foldedAt(prefix, j)) return false;
    }
    return true;
}

bool sameText(std::string_view a, std::string_view b, bool caseInsensitive) {
    if (!caseInsensitive) return a == b;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (foldedAt(a, i) != foldedAt(b, j)) return false;
    return i == a.size() && j == b.size();
}

std::size_t heapBlockBytes(std::size_t bytes) {
    const std::size_t chunk = (bytes + 8 + 15) & ~static_cast<std::size_t>(15);
    return chunk < 32 ? 32 : chunk;
}

std::size_t heapBytesOf(const std::string& text) {
    // libstdc++ keeps up to 15 characters inside the object itself.
    if (text.capacity() <= 15) return 0;
    return heapBlockBytes(text.capacity() + 1);
}

} // namespace tk::detail
