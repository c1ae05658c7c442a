#include <iostream>

#include "cli/cli_app.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
    qf::KeepFrameBuffersForReuse();
    return qf::RunCli(argc, argv, std::cout, std::cerr);
}
