// NextOutputPath for any working name and any frame number: the result always ends in
// the extension, keeps a prefix of the name and carries the number.
#include <cstdlib>
#include <string>

#include "convert/output_naming.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qf::fuzz::FuzzInput in(data, size);
    const auto w = in.Take<std::int16_t>();
    const std::string ext = in.TakeBool() ? ".tiff" : ".bmp";
    const std::string name = in.Rest();
    const std::string next = qf::NextOutputPath(name, w, ext);
    const std::string number = w == 0 ? "" : std::to_string(w);
    const std::string tail = number + ext;
    if (next.size() < tail.size() || next.compare(next.size() - tail.size(), tail.size(), tail) != 0) std::abort();
    const std::string kept = next.substr(0, next.size() - tail.size());
    if (name.compare(0, kept.size(), kept) != 0) std::abort();
    const std::size_t cut = qf::OutputNameCut(w, ext);
    if (kept.size() != (cut < name.size() ? name.size() - cut : 0)) std::abort();
    return 0;
}
