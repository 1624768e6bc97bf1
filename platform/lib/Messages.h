#pragma once

// A keyed message catalogue: ordered lines "key|text". Keys are compared byte for byte (UTF-8 here),
// texts are returned exactly as stored, trailing blanks included.

#include <string>
#include <string_view>
#include <vector>

namespace lib {

class TMessages {
public:
    TMessages() = default;
    explicit TMessages(std::vector<std::string> lines) { setLines(std::move(lines)); }

    void setLines(std::vector<std::string> lines);
    const std::vector<std::string>& lines() const { return lines_; }

    // The text of the first line whose key equals `key`; the empty text for an unknown key.
    std::string Msg(std::string_view key) const;
    bool hasKey(std::string_view key) const;

    // A modal question with the key's text through the application's dialog port; returns the
    // answer (6 = yes). dialogType and buttons follow the classic numbering and are informative only.
    int ShowMsg(std::string_view key, int dialogType, int buttons, int helpContext) const;

private:
    std::vector<std::string> lines_;
};

} // namespace lib
