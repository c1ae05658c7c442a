#include "present/words.h"

#include <utility>
#include <vector>

namespace qf::present {
namespace {

Translator& Installed() {
    static Translator translator;
    return translator;
}

}  // namespace

void SetTranslator(Translator translator) { Installed() = std::move(translator); }

std::string Words(const char* pattern, std::initializer_list<std::string> args) {
    const std::string text = Installed() ? Installed()(pattern) : std::string(pattern);
    const std::vector<std::string> values(args);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // %1 to %9: a translation never needs more; "%" before anything else stays.
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < values.size()) {
                out += values[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string Grouped(long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
    return n < 0 ? "-" + digits : digits;
}

}  // namespace qf::present
