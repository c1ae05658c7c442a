// What the command line's tests share: quillfen-cli run in the test's process over its own
// temporary folder, and a way to run a piece of a test as an ordinary user.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "test/temp_folder.h"

namespace qf::test {

class CliFixture : public TempFolderTest {
protected:
    /// quillfen-cli with `args`; its output lands in `out` and `err`.
    int Run(std::vector<std::string> args, const CliHooks* hooks = nullptr) {
        args.insert(args.begin(), "quillfen-cli");
        std::vector<char*> argv;
        argv.reserve(args.size());
        for (auto& a : args) argv.push_back(a.data());
        out.str("");
        err.str("");
        return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, hooks);
    }
    /// What the run wrote to standard error, a line each.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(err.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::ostringstream out, err;
};

/// The elapsed time in the summary line of `input` among `lines` ("0.0 s"), so that a test
/// can compare the rest of the line exactly.
inline std::string SecondsOf(const std::vector<std::string>& lines, const std::string& input) {
    const std::string start = "quillfen-cli: " + input + ": ";
    for (const std::string& line : lines) {
        const std::size_t in = line.find(" written in ");
        if (line.rfind(start, 0) != 0 || in == std::string::npos) continue;
        const std::size_t from = in + 12, end = line.find(" s", from);
        return line.substr(from, end + 2 - from);
    }
    return "(no summary line)";
}

#ifndef _WIN32
/// Runs `body` in a child as user and group nobody when the tests run as root, so that
/// permissions hold; its result is the child's exit status (99: could not drop rights).
inline int AsOrdinaryUser(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}
#endif

}  // namespace qf::test
