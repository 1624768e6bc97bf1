#pragma once

// Compact storage of a dataset's rows. A screen holds thousands of rows of some eighty short string
// fields; one std::optional<std::string> per value would cost several KiB a row, so each row is a
// single heap block:
//
//   [offset width: 1 byte (2 or 4)] [null bitmap: one bit a field] [end offsets: one a field] [bytes]
//
// The layout depends only on the values, so two rows with the same values have the same bytes and
// can be compared with ==.

#include "wire/Packet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tk::detail {

// One value handed to the packer: a view of the bytes, or null.
struct Slot {
    std::string_view text;
    bool null = true;
};

// Packs `count` values into one row. The caller keeps the viewed bytes alive during the call.
std::string packRow(const Slot* slots, int count);

class RowView {
public:
    RowView(std::string_view bytes, int count) : bytes_(bytes), count_(count) {}

    bool isNull(int field) const {
        const auto bits = static_cast<unsigned char>(bytes_[1 + static_cast<std::size_t>(field / 8)]);
        return (bits >> (field % 8)) & 1u;
    }
    // The bytes of the value; empty for null.
    std::string_view text(int field) const;
    wire::Value value(int field) const {
        if (isNull(field)) return std::nullopt;
        return std::string(text(field));
    }

private:
    std::size_t endOffset(int field) const;

    std::string_view bytes_;
    int count_;
};

// Number of bytes taken by the first `maxChars` characters of UTF-8 text, never ending inside a
// multi-byte character. maxChars <= 0 means no limit.
std::size_t utf8PrefixBytesSlow(std::string_view text, int maxChars);
inline std::size_t utf8PrefixBytes(std::string_view text, int maxChars) {
    // A value of at most maxChars bytes has at most maxChars characters: no need to look further.
    if (maxChars <= 0 || text.size() <= static_cast<std::size_t>(maxChars)) return text.size();
    return utf8PrefixBytesSlow(text, maxChars);
}

// Whole-value comparison for locate: exact, or ignoring the case of ASCII and of the accented
// Latin-1 letters Portuguese uses (Á/á, Ç/ç, Õ/õ, ...).
bool sameText(std::string_view a, std::string_view b, bool caseInsensitive);
bool startsWithText(std::string_view text, std::string_view prefix, bool caseInsensitive);

// Bytes the allocator really hands out for a request of `bytes` (glibc: 16-byte granules, 8 bytes
// of header, 32 at least), so that memory figures are honest about small blocks.
std::size_t heapBlockBytes(std::size_t bytes);
// Heap bytes held by a std::string (nothing while its text fits the inline buffer).
std::size_t heapBytesOf(const std::string& text);

} // namespace tk::detail
