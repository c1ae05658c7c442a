#include "export/libtiff_strips.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "export/tiff_handle.h"
#include "export/tiff_layout.h"

namespace qf {
namespace {

// The TIFF libtiff writes: bytes in memory, and its first complaint.
struct MemoryTiff {
    std::vector<std::uint8_t> bytes;
    std::uint64_t position = 0;
    TiffMessages messages;
    bool outOfMemory = false;
};

MemoryTiff& Of(thandle_t handle) { return *static_cast<MemoryTiff*>(handle); }

tmsize_t MemoryRead(thandle_t handle, void* into, tmsize_t n) {
    MemoryTiff& file = Of(handle);
    const std::uint64_t size = file.bytes.size();
    const std::uint64_t from = std::min(file.position, size);
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(n), size - from));
    std::memcpy(into, file.bytes.data() + from, count);
    file.position = from + count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t handle, void* data, tmsize_t n) {
    MemoryTiff& file = Of(handle);
    const std::uint64_t end = file.position + static_cast<std::uint64_t>(n);
    try {
        if (end > file.bytes.size()) file.bytes.resize(static_cast<std::size_t>(end));
    } catch (const std::bad_alloc&) {
        file.outOfMemory = true;
        return -1;
    }
    std::memcpy(file.bytes.data() + file.position, data, static_cast<std::size_t>(n));
    file.position = end;
    return n;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    MemoryTiff& file = Of(handle);
    const std::uint64_t from = whence == SEEK_CUR ? file.position : whence == SEEK_END ? file.bytes.size() : 0;
    file.position = from + offset;
    return file.position;
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return Of(handle).bytes.size(); }
int MemoryMap(thandle_t, void**, toff_t*) { return 0; }
void MemoryUnmap(thandle_t, void*, toff_t) {}

// The strips as libtiff put them in the memory file, back to back in `page`.
Status TakeStrips(TIFF* tif, const MemoryTiff& file, EncodedPage& page) {
    const std::uint32_t strips = TIFFNumberOfStrips(tif);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) != 1 || TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) != 1) {
        return Fail(ErrorKind::kWriteFailed, "write failed: libtiff kept no strip table for the page");
    }
    std::size_t room = 0;
    for (std::uint32_t s = 0; s < strips; ++s) {
        if (offsets[s] + counts[s] > file.bytes.size()) {
            return Fail(ErrorKind::kWriteFailed, "write failed: libtiff placed a strip past the page it wrote");
        }
        room += static_cast<std::size_t>(counts[s]);
    }
    if (page.room < room) {
        page.bytes.reset(new std::uint8_t[room]);
        page.room = room;
    }
    page.stripEnds.clear();
    std::size_t end = 0;
    for (std::uint32_t s = 0; s < strips; ++s) {
        std::memcpy(page.bytes.get() + end, file.bytes.data() + offsets[s], static_cast<std::size_t>(counts[s]));
        end += static_cast<std::size_t>(counts[s]);
        page.stripEnds.push_back(end);
    }
    return Status::Ok();
}

}  // namespace

Status EncodePageThroughLibtiff(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height,
                                const ExportOptions& options, EncodedPage& page) {
    const auto outOfMemory = [&] {
        return Fail(ErrorKind::kOutOfMemory, "out of memory: no room to compress a " + std::to_string(width) + " x " +
                                                 std::to_string(height) + " page");
    };
    MemoryTiff file;
    try {
        file.bytes.reserve(std::size_t{width} * height * 2 + 4096);
        TIFFOpenOptions* open = KeepingMessages(file.messages);
        const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(
            TIFFClientOpenExt("page", "w", &file, MemoryRead, MemoryWrite, MemorySeek, MemoryClose, MemorySize,
                              MemoryMap, MemoryUnmap, open),
            TIFFClose);
        TIFFOpenOptionsFree(open);
        if (!tif) return Fail(ErrorKind::kOutOfMemory, "out of memory: libtiff could not start a page");
        const bool written = SetLayoutTags(tif.get(), width, height, options) &&
                             WriteLayoutStrips(tif.get(), width, height, samples, options) && !file.messages.failed;
        if (file.outOfMemory) return outOfMemory();
        if (!written) {
            return Fail(ErrorKind::kWriteFailed,
                        "write failed: " + (file.messages.failed ? file.messages.first : std::string("libtiff")));
        }
        return TakeStrips(tif.get(), file, page);
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    }
}

}  // namespace qf
