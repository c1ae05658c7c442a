#include "convert/frame_selection.h"

#include <charconv>

namespace qf {
namespace {

constexpr int kLastFrame = 32767;

// A frame number 0 to 32767 that takes all of `text`.
bool ReadNumber(std::string_view text, int* value) {
    const char* end = text.data() + text.size();
    const auto [at, err] = std::from_chars(text.data(), end, *value);
    return !text.empty() && err == std::errc() && at == end && *value >= 0 && *value <= kLastFrame;
}

}  // namespace

Result<FrameSelection> FrameSelection::Parse(const std::string& text) {
    FrameSelection selection;
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        Range range;
        const std::size_t dash = item.find('-');
        const bool ok = dash == std::string_view::npos
                            ? ReadNumber(item, &range.first) && (range.last = range.first, true)
                            : ReadNumber(item.substr(0, dash), &range.first) &&
                                  (dash + 1 == item.size() ? (range.last = kLastFrame, true)
                                                           : ReadNumber(item.substr(dash + 1), &range.last));
        if (!ok || range.last < range.first) {
            return Fail(ErrorKind::kInvalid, "'" + std::string(item) +
                                                 "' is no frame range (frames are 0 to 32767: 0-9,20,30- for instance)");
        }
        selection.ranges_.push_back(range);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    selection.text_ = text;
    return selection;
}

std::vector<std::string> FrameSelection::Outside(int first, int last) const {
    std::vector<std::string> items;
    for (const Range& r : ranges_) {
        if (r.last >= first && r.first <= last) continue;
        std::string item = std::to_string(r.first);
        if (r.last == kLastFrame && r.first != kLastFrame) item += "-";
        else if (r.last != r.first) item += "-" + std::to_string(r.last);
        items.push_back(item);
    }
    return items;
}

bool FrameSelection::Contains(std::int16_t frame) const {
    if (ranges_.empty()) return true;
    for (const Range& r : ranges_) {
        if (frame >= r.first && frame <= r.last) return true;
    }
    return false;
}

}  // namespace qf
