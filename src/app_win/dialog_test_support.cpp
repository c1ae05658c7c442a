#include "app_win/dialog_test_support.h"

#include <sstream>

#include "cli/cli_app.h"
#include "platform/output_file.h"
#include "tools/synthetic_beam.h"

namespace qf::win::test {

bool WriteBeam(const std::string& path, std::uint32_t frames, int width, int height) {
    BeamSettings s;
    s.width = static_cast<std::int16_t>(width);
    s.height = static_cast<std::int16_t>(height);
    s.frames = frames;
    return WriteSyntheticBeam(path, s).ok();
}

int ConvertWithCli(const std::string& folder, const std::string& kind, std::string& err) {
    std::string args[] = {"quillfen-cli", "convert", "--quiet", "--settle-ms", "0", "--kind", kind, folder};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::ostringstream out, errors;
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, errors);
    err = errors.str();
    return status;
}

bool IsTemporary(const std::string& name) { return IsTemporaryName(name); }

}  // namespace qf::win::test
