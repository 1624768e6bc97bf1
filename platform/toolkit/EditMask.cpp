#include "toolkit/EditMask.h"

#include "toolkit/Utf8.h"

#include <cctype>
#include <vector>

namespace tk {

namespace {

enum class Case { None, Upper, Lower };

struct Element {
    bool slot = false;
    std::string literal; // one UTF-8 character when !slot
    Case letterCase = Case::None;
};

struct ParsedMask {
    std::vector<Element> elements;
    bool saveLiterals = true;
    std::string blank = "_";
};

bool isSlot(char c) {
    switch (c) {
    case '0':
    case '9':
    case '#':
    case 'L':
    case 'l':
    case 'A':
    case 'a':
    case 'C':
    case 'c':
        return true;
    default:
        return false;
    }
}

ParsedMask parse(std::string_view mask) {
    ParsedMask parsed;
    // The mask part ends at the first ';' that is not escaped.
    std::size_t end = 0;
    for (; end < mask.size(); ++end) {
        if (mask[end] == '\\') {
            ++end;
            continue;
        }
        if (mask[end] == ';') break;
    }
    const std::string_view body = mask.substr(0, std::min(end, mask.size()));
    if (end < mask.size()) {
        const std::string_view rest = mask.substr(end + 1);
        const auto semi = rest.find(';');
        const std::string_view save = rest.substr(0, semi);
        parsed.saveLiterals = !(save == "0");
        if (semi != std::string_view::npos && semi + 1 < rest.size())
            parsed.blank = std::string(utf8::prefix(rest.substr(semi + 1), 1));
    }

    Case current = Case::None;
    for (std::size_t i = 0; i < body.size();) {
        const char c = body[i];
        if (c == '<' && i + 1 < body.size() && body[i + 1] == '>') {
            current = Case::None;
            i += 2;
            continue;
        }
        if (c == '>' || c == '<') {
            current = c == '>' ? Case::Upper : Case::Lower;
            ++i;
            continue;
        }
        if (c == '!') {
            ++i;
            continue;
        }
        Element element;
        if (c == '\\' && i + 1 < body.size()) {
            const std::size_t len = utf8::sequenceLength(static_cast<unsigned char>(body[i + 1]));
            element.literal = std::string(body.substr(i + 1, len));
            i += 1 + len;
        } else if (isSlot(c)) {
            element.slot = true;
            element.letterCase = current;
            ++i;
        } else {
            const std::size_t len = utf8::sequenceLength(static_cast<unsigned char>(c));
            element.literal = std::string(body.substr(i, len));
            i += len;
        }
        parsed.elements.push_back(std::move(element));
    }
    return parsed;
}

std::string applyCase(std::string_view character, Case letterCase) {
    std::string out(character);
    if (out.size() == 1) {
        const auto c = static_cast<unsigned char>(out[0]);
        if (letterCase == Case::Upper) out[0] = static_cast<char>(std::toupper(c));
        if (letterCase == Case::Lower) out[0] = static_cast<char>(std::tolower(c));
    }
    return out;
}

std::string_view nextCharacter(std::string_view text, std::size_t pos) {
    return text.substr(pos, utf8::sequenceLength(static_cast<unsigned char>(text[pos])));
}

} // namespace

std::string FormatMaskText(std::string_view mask, std::string_view value) {
    if (mask.empty() || value.empty()) return std::string(value);
    const ParsedMask parsed = parse(mask);
    if (parsed.elements.empty()) return std::string(value);

    std::string out;
    std::size_t pos = 0;
    for (const Element& element : parsed.elements) {
        if (!element.slot) {
            // A value that already carries this literal here has it consumed, not doubled.
            if (pos < value.size() && value.substr(pos, element.literal.size()) == element.literal)
                pos += element.literal.size();
            out += element.literal;
            continue;
        }
        if (pos < value.size()) {
            const std::string_view character = nextCharacter(value, pos);
            out += applyCase(character, element.letterCase);
            pos += character.size();
        } else {
            out += parsed.blank;
        }
    }
    if (pos < value.size()) out.append(value.substr(pos));
    return out;
}

std::string MaskRawText(std::string_view mask, std::string_view text) {
    if (mask.empty()) return std::string(text);
    const ParsedMask parsed = parse(mask);
    if (parsed.saveLiterals) return std::string(text);

    std::string raw;
    std::size_t pos = 0;
    for (const Element& element : parsed.elements) {
        if (pos >= text.size()) break;
        if (!element.slot) {
            if (text.substr(pos, element.literal.size()) != element.literal) return std::string(text);
            pos += element.literal.size();
            continue;
        }
        const std::string_view character = nextCharacter(text, pos);
        raw += character;
        pos += character.size();
    }
    if (pos < text.size()) return std::string(text);
    return raw;
}

} // namespace tk
