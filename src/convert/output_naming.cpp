#include "convert/output_naming.h"

namespace qf {
namespace {

std::size_t DecimalDigits(int value) {
    std::size_t digits = 0;
    for (; value > 0; value /= 10) ++digits;
    return digits;
}

}  // namespace

std::size_t OutputNameCut(std::int16_t w, std::string_view extension) {
    if (w == 0) return 4;
    if (w < 0) return 0;
    // Before frame w the name ends in w - 1 and the extension (no number for frame 0).
    return extension.size() + DecimalDigits(w - 1);
}

std::string NextOutputPath(const std::string& working, std::int16_t w, std::string_view extension) {
    const std::size_t cut = OutputNameCut(w, extension);
    std::string next = cut < working.size() ? working.substr(0, working.size() - cut) : std::string();
    if (w != 0) next += std::to_string(w);
    next += extension;
    return next;
}

}  // namespace qf
