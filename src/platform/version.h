// The program's version, kept in one source file so that a new version rebuilds that
// file alone.
#pragma once

namespace qf {

/// "1.0.0.1"
const char* QuillfenVersion();

}  // namespace qf
