// Which frames of each data file a run converts: "0-9,20,30-" (ranges, single numbers, and
// an open end), applied in the plan, so that the dry run, the progress and the report count
// only what is converted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace qf {

class FrameSelection {
public:
    /// Every frame.
    FrameSelection() = default;
    /// The selection written as `text`, or why it is none.
    static Result<FrameSelection> Parse(const std::string& text);
    bool all() const { return ranges_.empty(); }
    bool Contains(std::int16_t frame) const;
    /// The text it was parsed from ("" for every frame).
    const std::string& text() const { return text_; }
    /// The items of the selection, as written ("100", "30-"), that name no frame from
    /// `first` to `last`: frames a data file does not have.
    std::vector<std::string> Outside(int first, int last) const;

private:
    struct Range {
        int first = 0;
        int last = 0;
    };
    std::vector<Range> ranges_;
    std::string text_;
};

}  // namespace qf
