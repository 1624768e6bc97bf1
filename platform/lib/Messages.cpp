#include "lib/Messages.h"

#include "toolkit/Application.h"

namespace lib {

void TMessages::setLines(std::vector<std::string> lines) { lines_ = std::move(lines); }

namespace {
// The key is everything before the first '|'; a line without one is all key and no text.
bool keyMatches(const std::string& line, std::string_view key) {
    const auto bar = line.find('|');
    const std::string_view lineKey = bar == std::string::npos ? std::string_view(line) : std::string_view(line).substr(0, bar);
    return lineKey == key;
}
} // namespace

std::string TMessages::Msg(std::string_view key) const {
    for (const auto& line : lines_)
        if (keyMatches(line, key)) {
            const auto bar = line.find('|');
            return bar == std::string::npos ? std::string() : line.substr(bar + 1);
        }
    return {};
}

bool TMessages::hasKey(std::string_view key) const {
    for (const auto& line : lines_)
        if (keyMatches(line, key)) return true;
    return false;
}

int TMessages::ShowMsg(std::string_view key, int /*dialogType*/, int /*buttons*/, int /*helpContext*/) const {
    auto& app = tk::Application::current();
    const std::string text = Msg(key);
    app.shown().push_back(text);
    return app.dialogs().confirm(std::string(key), text, defaultAnswer(key));
}

void TMessages::setDefaultAnswer(std::string key, int answer) {
    for (auto& [k, a] : defaults_)
        if (k == key) {
            a = answer;
            return;
        }
    defaults_.emplace_back(std::move(key), answer);
}

int TMessages::defaultAnswer(std::string_view key) const {
    for (const auto& [k, a] : defaults_)
        if (k == key) return a;
    return tk::kAnswerYes;
}

} // namespace lib
