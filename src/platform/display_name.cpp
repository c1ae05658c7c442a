#include "platform/display_name.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace qf {
namespace {

// Length of the valid UTF-8 sequence at `i`, or 0 when the byte there starts none.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t n = 0;
    std::uint32_t min = 0;
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) n = 2, min = 0x80;
    else if ((b & 0xF0) == 0xE0) n = 3, min = 0x800;
    else if ((b & 0xF8) == 0xF0) n = 4, min = 0x10000;
    else return 0;
    if (i + n > s.size()) return 0;
    std::uint32_t cp = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode are not valid; nor are the
    // C1 controls, which some terminals act on.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x80 && cp < 0xA0)) {
        return 0;
    }
    return n;
}

bool IsControl(std::uint8_t b) { return b < 0x20 || b == 0x7F; }

std::string Escape(std::uint8_t b) {
    switch (b) {
        case '\a': return "\\a";
        case '\b': return "\\b";
        case '\t': return "\\t";
        case '\n': return "\\n";
        case '\v': return "\\v";
        case '\f': return "\\f";
        case '\r': return "\\r";
        case 0x1B: return "\\E";
        default: break;
    }
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", b);
    return octal;
}

}  // namespace

std::string DisplayName(const std::string& name) {
    // Which bytes print as they are: whole valid sequences that are not control bytes.
    std::vector<bool> plain(name.size(), false);
    bool needsQuoting = false;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = Utf8Length(name, i);
        if (n == 0 || (n == 1 && IsControl(static_cast<std::uint8_t>(name[i])))) {
            needsQuoting = true;
            ++i;
            continue;
        }
        for (std::size_t k = 0; k < n; ++k) plain[i + k] = true;
        i += n;
    }
    if (!needsQuoting) return name;
    std::string out;
    bool inPlain = false, inEscape = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (plain[i]) {
            if (inEscape) out += '\'', inEscape = false;
            if (!inPlain) out += '\'', inPlain = true;
            if (name[i] == '\'') out += "'\\''";
            else out += name[i];
        } else {
            if (inPlain) out += '\'', inPlain = false;
            if (!inEscape) out += "$'", inEscape = true;
            out += Escape(static_cast<std::uint8_t>(name[i]));
        }
    }
    if (inPlain || inEscape) out += '\'';
    return out;
}

}  // namespace qf
