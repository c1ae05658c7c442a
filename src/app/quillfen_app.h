// CQuillfenApp: prepares the toolkit, runs the converter dialog modally and lets the
// process end when it closes. There is no other main window.
#pragma once

namespace qf {

class CQuillfenApp {
public:
    /// Runs the program; returns the process exit status (0 however the dialog closes).
    int Run(int& argc, char** argv);
};

}  // namespace qf
