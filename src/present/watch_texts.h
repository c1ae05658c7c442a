// What a watch says while it waits, for every front end: the command line's live line and
// the dialogs' progress strip say the same words (translated where a translator is
// installed, see words.h).
#pragma once

#include <string>

#include "convert/folder_watch.h"

namespace qf::present {

/// "watching day1: 12 converted, scan13.orx being written (40 of 98 frames)": `folder` as the
/// front end shows it; the first data file being written by its own name ("no header yet"
/// before its header is whole).
std::string WatchLine(const std::string& folder, const WatchStanding& standing);

}  // namespace qf::present
