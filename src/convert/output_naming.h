// Output names: each frame's path is cut from the one before and the frame number and
// extension appended, so frames visited from 0 give line.tiff, line1.tiff, line2.tiff...
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

/// How many characters to cut from the working name before frame `w`: 4 for frame 0 (the
/// data file's ".orx"), else the extension plus the digits of w - 1; 0 for negative w.
std::size_t OutputNameCut(std::int16_t w, std::string_view extension);

/// The new working name: `working` without its last OutputNameCut characters (empty if
/// it is shorter), then `w` in decimal unless it is 0, then `extension`.
std::string NextOutputPath(const std::string& working, std::int16_t w, std::string_view extension);

}  // namespace qf
