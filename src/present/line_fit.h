// A line of text fitted to a width without cutting a word, for every front end: each
// measures with its own font, this decides where the line is cut.
#pragma once

#include <functional>
#include <string>

namespace qf::present {

/// How wide `text` (UTF-8) is where it shows, in the front end's units (pixels).
using TextWidth = std::function<int(const std::string& text)>;

/// `text` as it fits in `width`: whole when it fits, else its first and (with `keepEnd`)
/// last words (a path's parts, between slashes or backslashes, count as words) with an
/// ellipsis for the words left out, never a word cut.
std::string ElideAtWordEnds(const std::string& text, const TextWidth& widthOf, int width, bool keepEnd = true);

}  // namespace qf::present
