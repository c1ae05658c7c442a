#include <iostream>

#include "cli/cli_app.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    qf::KeepFrameBuffersForReuse();
    try {
        return qf::RunCli(argc, argv, std::cout, std::cerr);
    } catch (const std::exception& e) {
        // A bug or exhausted memory: one line, never an abort with a core dump.
        std::cerr << "quillfen-cli: stopped: " << e.what() << "\n";
        return qf::kExitFailures;
    }
}
