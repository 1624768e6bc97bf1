#pragma once

// A keyed message catalogue: ordered lines "key|text". Keys are compared byte for byte (UTF-8 here),
// texts are returned exactly as stored, trailing blanks included.

#include <string>
#include <string_view>
#include <utility>
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
    // The question's default answer is Yes unless the key was given another one.
    int ShowMsg(std::string_view key, int dialogType, int buttons, int helpContext) const;

    // The answer a question of this key gives when the user just confirms it (kAnswerYes or kAnswerNo).
    void setDefaultAnswer(std::string key, int answer);
    int defaultAnswer(std::string_view key) const;

private:
    std::vector<std::string> lines_;
    std::vector<std::pair<std::string, int>> defaults_;
};

} // namespace lib
