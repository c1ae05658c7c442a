#include "cli/kind_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "export/export_kinds.h"
#include "platform/display_name.h"

namespace qf {
namespace {

struct Alias {
    const char* name;
    ExportKind kind;
};
// Other spellings a user reaches for; the README writes "colour".
constexpr Alias kAliases[] = {{"colour-bmp", kFalseColorBitmap}};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Edits (insert, delete, replace, swap of neighbours) that turn `a` into `b`.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

int ParseKindName(const std::string& text) {
    for (const ExportKindInfo& kind : ExportKinds()) {
        if (text == kind.name || text == std::to_string(kind.kind)) return kind.kind;
    }
    for (const Alias& alias : kAliases) {
        if (text == alias.name) return alias.kind;
    }
    return -1;
}

std::string ClosestName(const std::string& text, const std::vector<std::string>& names) {
    const std::string typed = Lower(text);
    std::string best;
    std::size_t bestDistance = std::string::npos;
    for (const std::string& name : names) {
        // A name typed in part ("grayscale", "normalized") means the name it starts.
        const std::size_t distance = !typed.empty() && name.rfind(typed, 0) == 0 ? 0 : EditDistance(typed, name);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = name;
        }
    }
    // Closer than half the name: further than that, the word was something else ("jpeg").
    return bestDistance * 2 <= std::max(best.size(), typed.size()) ? best : std::string();
}

std::string ClosestKindName(const std::string& text) {
    std::vector<std::string> names;
    for (const ExportKindInfo& kind : ExportKinds()) names.emplace_back(kind.name);
    return ClosestName(text, names);
}

std::string KindNameList() {
    std::string names;
    for (const ExportKindInfo& kind : ExportKinds()) {
        names += (names.empty() ? "" : " | ") + std::string(kind.name);
        for (const Alias& alias : kAliases) {
            if (alias.kind == kind.kind) names += " (or " + std::string(alias.name) + ")";
        }
    }
    return names + " (or 0-3)";
}

std::string NotAKindMessage(const std::string& text) {
    std::string message = "'" + DisplayName(text) + "' is no kind";
    if (const std::string closest = ClosestKindName(text); !closest.empty()) {
        message += " (did you mean " + closest + "?)";
    }
    return message + "; use " + KindNameList();
}

}  // namespace qf
