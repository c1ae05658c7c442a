#include "app_win/dialog_test_support.h"

#include <tiffio.h>

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

int ConvertWithCli(const std::string& folder, const std::string& kind, std::string& err,
                   const std::vector<std::string>& options) {
    std::vector<std::string> args = {"quillfen-cli", "convert", "--quiet", "--settle-ms", "0", "--kind", kind};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(folder);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::ostringstream out, errors;
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, errors);
    err = errors.str();
    return status;
}

bool IsTemporary(const std::string& name) { return IsTemporaryName(name); }

bool ReadTiff(const std::string& path, TiffPages& tiff) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return false;
    std::uint16_t compression = 0, orientation = 0, unit = 0;
    float resolution = 0;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    tiff.compression = compression, tiff.orientation = orientation, tiff.resolutionUnit = unit;
    tiff.xResolution = resolution;
    tiff.firstPage.assign(std::size_t{width} * height, 0);
    for (std::uint32_t row = 0; row < height; ++row) {
        if (TIFFReadScanline(tif, tiff.firstPage.data() + std::size_t{row} * width, row) < 0) tiff.firstPage.clear();
    }
    tiff.pages = static_cast<int>(TIFFNumberOfDirectories(tif));
    TIFFClose(tif);
    return true;
}

}  // namespace qf::win::test
