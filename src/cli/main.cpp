#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "platform/file_io.h"
#include "platform/memory.h"

namespace {

int Run(int argc, char** argv) {
    qf::KeepFrameBuffersForReuse();
    qf::UseUtf8Console();
    try {
        return qf::RunCli(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        // A bug or exhausted memory: one line, never an abort with a core dump.
        std::cerr << "quillfen-cli: stopped: " << e.what() << "\n";
        return qf::kExitFailures;
    }
}

}  // namespace

#ifdef _WIN32
// The arguments arrive as UTF-16, so that names outside the ANSI code page survive; the
// program works in UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args = qf::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
