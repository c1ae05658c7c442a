#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "platform/file_io.h"
#include "platform/memory.h"

#ifdef _WIN32
#include <conio.h>
#include <windows.h>

#include "cli/explorer_start.h"
#endif

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
namespace {

// True when the console is a window of this program's own (started from the file manager,
// not from a prompt): no other process is attached to it.
bool ConsoleIsOwn() {
    DWORD processes[2];
    return GetConsoleWindow() != nullptr && GetConsoleProcessList(processes, 2) == 1;
}

bool Exists(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring path(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, path.data(), n);
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// The arguments arrive as UTF-16, so that names outside the ANSI code page survive; the
// program works in UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args = qf::Utf8Arguments(argc, argv);
    const bool ownConsole = ConsoleIsOwn();
    if (ownConsole) {
        qf::ExplorerStart start = qf::StartedFromExplorer(args, Exists);
        std::cout << start.say;
        args = std::move(start.args);
    }
    int status = qf::kExitOk;
    if (!args.empty()) {
        std::vector<char*> pointers;
        for (std::string& arg : args) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        status = Run(static_cast<int>(args.size()), pointers.data());
    }
    if (ownConsole) {  // the window would close before anyone read it
        std::cout << "\n" << qf::kPressAKeyToClose << std::flush;
        _getwch();
    }
    return status;
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
