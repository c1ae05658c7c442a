// Names as a user reads them: one line each, whatever bytes a file name holds.
#pragma once

#include <string>

namespace qf {

/// `name` unchanged when it is valid UTF-8 without control bytes; otherwise quoted the
/// way `ls` quotes it for a shell: 'a'$'\n''b', with each byte that is a control byte or
/// not part of valid UTF-8 written as an escape.
std::string DisplayName(const std::string& name);

}  // namespace qf
