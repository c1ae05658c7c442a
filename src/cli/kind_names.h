// The names the command line takes for the output kinds: each kind's own name, its number,
// and the British spelling the README uses ("colour-bmp"); for a name that is none of
// them, the closest one to suggest.
#pragma once

#include <string>
#include <vector>

namespace qf {

/// The kind that `text` names or numbers (0 to 3), or -1.
int ParseKindName(const std::string& text);

/// The one of `names` closest to `text` (by edits, or a start typed in part), or "" when
/// none is close enough to be what was meant: for kinds, and for options mistyped.
std::string ClosestName(const std::string& text, const std::vector<std::string>& names);

/// The kind name closest to `text` (by edits), or "" when none is close enough to be
/// what was meant.
std::string ClosestKindName(const std::string& text);

/// Every kind name, for help texts: "normalized-tiff | ... | color-bmp (or colour-bmp) (or 0-3)".
std::string KindNameList();

/// Why `text` is no kind, with a suggestion when one is close: "'colr-bmp' is no kind (did
/// you mean color-bmp?); use ...".
std::string NotAKindMessage(const std::string& text);

}  // namespace qf
