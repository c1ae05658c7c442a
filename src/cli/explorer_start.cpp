#include "cli/explorer_start.h"

#include <algorithm>

namespace qf {

ExplorerStart StartedFromExplorer(const std::vector<std::string>& args,
                                  const std::function<bool(const std::string&)>& exists) {
    if (args.size() <= 1) {
        return {{}, "quillfen-cli converts the camera's .orx files into TIFF and BMP images.\n"
                    "Drop a folder of .orx files on quillfen-cli.exe to convert it with the defaults\n"
                    "(normalized TIFFs beside the data), or run it from a command prompt:\n"
                    "  quillfen-cli convert FOLDER\n"
                    "  quillfen-cli --help\n"
                    "quillfen.exe is the same converter in a window.\n"};
    }
    static const char* const kCommands[] = {"convert", "watch", "info", "synth", "report"};
    const std::string& first = args[1];
    const bool typed = first.empty() || first[0] == '-' ||
                       std::find(std::begin(kCommands), std::end(kCommands), first) != std::end(kCommands);
    if (typed || !std::all_of(args.begin() + 1, args.end(), exists)) return {args, ""};
    std::vector<std::string> convert = {args[0], "convert"};
    convert.insert(convert.end(), args.begin() + 1, args.end());
    return {convert, ""};
}

}  // namespace qf
