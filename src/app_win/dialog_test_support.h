// What the dialog's test needs of the core, apart from <windows.h> (the core's COM
// stand-ins do not mix with it): data files, quillfen-cli's outputs, temporary names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qf::win::test {

/// A synthetic beam of `frames` frames, width x height.
bool WriteBeam(const std::string& path, std::uint32_t frames, int width, int height);
/// Runs quillfen-cli convert --kind `kind` [options] on `folder`; its exit status, stderr in `err`.
int ConvertWithCli(const std::string& folder, const std::string& kind, std::string& err,
                   const std::vector<std::string>& options = {});
/// True for the name of one of our temporary files.
bool IsTemporary(const std::string& name);

/// A TIFF as libtiff reads it back: its pages and the first page's tags.
struct TiffPages {
    int pages = 0;
    int compression = 0;        ///< libtiff's COMPRESSION_* code
    int orientation = 0;
    double xResolution = 0;     ///< pixels per resolution unit
    int resolutionUnit = 0;     ///< RESUNIT_*
    std::vector<std::uint16_t> firstPage;  ///< its samples, rows as stored
};
/// False when libtiff cannot open `path`.
bool ReadTiff(const std::string& path, TiffPages& tiff);
inline constexpr int kTiffDeflate = 8;  ///< COMPRESSION_ADOBE_DEFLATE
inline constexpr int kTiffCentimetre = 3;  ///< RESUNIT_CENTIMETER

}  // namespace qf::win::test
