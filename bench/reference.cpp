// The yardstick for `make bench`: converts a folder's ORX files with nothing but plain
// reads and writes, producing the same bytes as quillfen-cli for each kind. No checks,
// no temporary files, no control: the least work that gives the same outputs.
//   quillfen_reference KIND FOLDER     (KIND 0 to 3)
#include <dirent.h>
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/orx_format.h"
#include "export/bitmap_layout.h"
#include "export/false_color_table.h"
#include "platform/memory.h"

namespace {

using namespace qf;

std::string FrameName(const std::string& stem, std::uint32_t f, const char* ext) {
    return stem + (f ? std::to_string(f) : std::string()) + ext;
}

void Tiff(const std::string& path, int w, int h, const std::uint16_t* s, int kind) {
    std::vector<std::uint16_t> out(s, s + static_cast<std::size_t>(w) * h);
    if (kind == 0) {
        const std::uint16_t top = *std::max_element(out.begin(), out.end());
        std::vector<std::uint16_t> table(top + 1u);
        for (std::uint32_t v = 0; v <= top; ++v) table[v] = top ? static_cast<std::uint16_t>(v / double(top) * 65535.0) : 0;
        for (auto& v : out) v = table[v];
    }
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    TIFFSetField(t, TIFFTAG_ORIENTATION, 4);
    TIFFSetField(t, TIFFTAG_COMPRESSION, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, 1);
    TIFFSetField(t, TIFFTAG_FILLORDER, 1);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, 1);
    TIFFWriteEncodedStrip(t, 0, out.data(), static_cast<tmsize_t>(out.size() * 2));
    TIFFClose(t);
}

void Bitmap(const std::string& path, int w, int h, const std::uint16_t* s, int kind) {
    const bool gray = kind == 2;
    const std::uint32_t row = gray ? (w + 3u) / 4 * 4 : 3u * w + w % 4u;
    const std::uint32_t off = gray ? kGrayPixelOffset : kHeadersSize;
    auto head = BitmapHeadersFor(w, h, gray ? 8 : 24, off, row);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (::write(fd, head.data(), head.size()) < 0) std::exit(1);
    if (gray) {
        std::uint8_t palette[1024];
        for (int i = 0; i < 1024; ++i) palette[i] = static_cast<std::uint8_t>(i / 4);
        if (::write(fd, palette, sizeof palette) < 0) std::exit(1);
    }
    std::vector<std::uint8_t> buf(row, 0);
    const std::uint8_t* colors = FalseColorPixels().data();
    for (int r = 0; r < h; ++r, s += w) {
        if (gray) {
            for (int c = 0; c < w; ++c) buf[c] = static_cast<std::uint8_t>(s[c] >> 8);
        } else {
            for (int c = 0; c < w; ++c) std::memcpy(&buf[3 * c], colors + 3 * (s[c] >> 2), 3);
        }
        if (::write(fd, buf.data(), row) < 0) std::exit(1);
    }
    ::close(fd);
}

void Convert(const std::string& path, int kind) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::uint8_t head[32];
    if (fd < 0 || ::pread(fd, head, 32, 0) != 32) std::exit(1);
    Result<OrxHeader> parsed = ParseOrxHeader(head, 32, static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END)));
    if (!parsed.ok()) std::exit(1);
    const OrxHeader& h = parsed.value();
    const int w = h.storedWidth(), ht = h.storedHeight();
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * ht);
    const std::string stem = path.substr(0, path.size() - 4);
    for (std::uint32_t f = 0; f < h.frameCount; ++f) {
        const off_t at = static_cast<off_t>(h.headerLength + std::uint64_t{f} * samples.size() * 2);
        if (::pread(fd, samples.data(), samples.size() * 2, at) < 0) std::exit(1);
        if (kind < 2) Tiff(FrameName(stem, f, ".tiff"), w, ht, samples.data(), kind);
        else Bitmap(FrameName(stem, f, ".bmp"), w, ht, samples.data(), kind);
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillfen_reference KIND FOLDER\n");
        return 2;
    }
    KeepFrameBuffersForReuse();  // the same allocator policy as quillfen-cli
    const int kind = std::atoi(argv[1]);
    const std::string folder = argv[2];
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.ends_with(".orx")) names.push_back(folder + "/" + n);
    }
    if (d) closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) Convert(n, kind);
    return 0;
}
