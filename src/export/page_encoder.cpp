#include "export/page_encoder.h"

#include <algorithm>
#include <memory>
#include <new>

#include "export/libtiff_strips.h"
#include "export/tiff_layout.h"

#if QUILLFEN_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#if QUILLFEN_HAVE_LIBZSTD
#include <zstd.h>
#endif

namespace qf {
namespace {

// What a strip of a codec left to libtiff may grow to: zlib's and zstd's stated worst
// cases are under 1 % and a few bytes above the input.
std::uint64_t GenericBound(std::uint64_t bytes) { return bytes + bytes / 128 + 1024; }

// Every LZW code stands for at least one byte and takes at most 12 bits; the table's
// clear codes and the end code add a few more.
std::uint64_t LzwBound(std::uint64_t bytes) { return bytes + bytes / 2 + bytes / 1024 + 64; }

// The rows of strip `first`..`first + n` in file order, copied into `strip`; with the
// predictor each row's samples after its first become differences to their left
// neighbour (modulo 2^16), as a reader undoes them. Samples are in the host's order, which
// is the file's: libtiff writes files in the host's byte order.
void GatherStrip(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height, std::uint32_t first,
                 std::uint32_t n, const ExportOptions& options, std::uint16_t* strip) {
    const bool topFirst = options.layout == Layout::kPortable;
    for (std::uint32_t r = 0; r < n; ++r) {
        const std::uint32_t fileRow = first + r;
        const std::uint32_t frameRow = topFirst ? height - 1 - fileRow : fileRow;
        const std::uint16_t* in = samples + std::size_t{frameRow} * width;
        std::uint16_t* out = strip + std::size_t{r} * width;
        if (!options.predictor) {
            std::copy_n(in, width, out);
            continue;
        }
        out[0] = in[0];
        for (std::uint32_t i = 1; i < width; ++i) out[i] = static_cast<std::uint16_t>(in[i] - in[i - 1]);
    }
}

// One codec's state for the strips of one page.
class StripCompressor {
public:
    virtual ~StripCompressor() = default;
    virtual bool ok() const = 0;
    /// The most bytes Compress may write for `bytes` of input.
    virtual std::size_t Bound(std::size_t bytes) const = 0;
    /// Compresses `in` into `out` (room for Bound bytes); the bytes written, 0 on failure.
    virtual std::size_t Compress(const void* in, std::size_t bytes, void* out, std::size_t room) = 0;
};

#if QUILLFEN_HAVE_LIBDEFLATE
// Deflate in the zlib wrapper: what Compression 8 holds.
class DeflateCompressor final : public StripCompressor {
public:
    explicit DeflateCompressor(int level) : c_(libdeflate_alloc_compressor(level)) {}
    ~DeflateCompressor() override {
        if (c_) libdeflate_free_compressor(c_);
    }
    DeflateCompressor(const DeflateCompressor&) = delete;
    DeflateCompressor& operator=(const DeflateCompressor&) = delete;
    bool ok() const override { return c_ != nullptr; }
    std::size_t Bound(std::size_t bytes) const override { return libdeflate_zlib_compress_bound(c_, bytes); }
    std::size_t Compress(const void* in, std::size_t bytes, void* out, std::size_t room) override {
        return libdeflate_zlib_compress(c_, in, bytes, out, room);
    }

private:
    libdeflate_compressor* c_;
};
#endif

#if QUILLFEN_HAVE_LIBZSTD
// One zstd frame per strip, as libtiff's own zstd codec writes it.
class ZstdCompressor final : public StripCompressor {
public:
    explicit ZstdCompressor(int level) : c_(ZSTD_createCCtx()), level_(level) {}
    ~ZstdCompressor() override { ZSTD_freeCCtx(c_); }
    ZstdCompressor(const ZstdCompressor&) = delete;
    ZstdCompressor& operator=(const ZstdCompressor&) = delete;
    bool ok() const override { return c_ != nullptr; }
    std::size_t Bound(std::size_t bytes) const override { return ZSTD_compressBound(bytes); }
    std::size_t Compress(const void* in, std::size_t bytes, void* out, std::size_t room) override {
        const std::size_t n = ZSTD_compressCCtx(c_, out, room, in, bytes, level_);
        return ZSTD_isError(n) ? 0 : n;
    }

private:
    ZSTD_CCtx* c_;
    int level_;
};
#endif

std::unique_ptr<StripCompressor> CompressorFor(Compression compression, int level) {
    (void)level;  // a build without either library
    switch (compression) {
#if QUILLFEN_HAVE_LIBDEFLATE
        case Compression::kDeflate: return std::make_unique<DeflateCompressor>(level);
#endif
#if QUILLFEN_HAVE_LIBZSTD
        case Compression::kZstd: return std::make_unique<ZstdCompressor>(level);
#endif
        default: return nullptr;
    }
}

Status EncodeStrips(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height,
                    const ExportOptions& options, StripCompressor& codec, EncodedPage& page) {
    const std::uint32_t rows = StripRows(width, height);
    const std::size_t stripBytes = std::size_t{rows} * width * 2;
    const std::size_t strips = (height + rows - 1) / rows;
    std::vector<std::uint16_t> strip(std::size_t{rows} * width);
    const std::size_t room = codec.Bound(stripBytes) * strips;
    if (page.room < room) {
        page.bytes.reset(new std::uint8_t[room]);  // a fresh page's buffer, left uninitialised
        page.room = room;
    }
    page.stripEnds.clear();
    std::size_t end = 0;
    for (std::uint32_t first = 0; first < height; first += rows) {
        const std::uint32_t n = std::min(rows, height - first);
        GatherStrip(samples, width, height, first, n, options, strip.data());
        const std::size_t bytes = std::size_t{n} * width * 2;
        const std::size_t written = codec.Compress(strip.data(), bytes, page.bytes.get() + end, page.room - end);
        if (written == 0) {
            return Fail(ErrorKind::kWriteFailed, std::string("write failed: the ") + CompressionName(options.compression) +
                                                     " encoder refused a strip");
        }
        end += written;
        page.stripEnds.push_back(end);
    }
    return Status::Ok();
}

}  // namespace

bool EncodedInWorkers(Compression compression) { return compression != Compression::kNone; }

bool EncodesItself(Compression compression) {
#if QUILLFEN_HAVE_LIBDEFLATE
    if (compression == Compression::kDeflate) return true;
#endif
#if QUILLFEN_HAVE_LIBZSTD
    if (compression == Compression::kZstd) return true;
#endif
    (void)compression;
    return false;
}

LevelRange LevelsOf(Compression compression) {
    switch (compression) {
        // libtiff's own deflate takes 1 to 9; libdeflate goes on to 12, slower and smaller.
        case Compression::kDeflate: return {1, EncodesItself(compression) ? 12 : 9, 1};
        case Compression::kZstd: return {1, 19, 1};
        default: return {};
    }
}

int LevelFor(const ExportOptions& options) {
    return options.level != 0 ? options.level : LevelsOf(options.compression).usual;
}

std::string EncoderName(Compression compression) {
    if (compression == Compression::kNone) return "";
#if QUILLFEN_HAVE_LIBDEFLATE
    if (compression == Compression::kDeflate) return std::string("libdeflate ") + LIBDEFLATE_VERSION_STRING;
#endif
#if QUILLFEN_HAVE_LIBZSTD
    if (compression == Compression::kZstd) return std::string("libzstd ") + ZSTD_versionString();
#endif
    return "libtiff";
}

std::uint64_t StripBytesAtMost(Compression compression, std::uint64_t bytes) {
    switch (compression) {
        case Compression::kNone: return bytes;
        case Compression::kLzw: return LzwBound(bytes);
        case Compression::kDeflate:
#if QUILLFEN_HAVE_LIBDEFLATE
            return libdeflate_zlib_compress_bound(nullptr, static_cast<std::size_t>(bytes));
#else
            return GenericBound(bytes);
#endif
        case Compression::kZstd:
#if QUILLFEN_HAVE_LIBZSTD
            return ZSTD_compressBound(static_cast<std::size_t>(bytes));
#else
            return GenericBound(bytes);
#endif
    }
    return GenericBound(bytes);
}

Status EncodePage(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height, const ExportOptions& options,
                  EncodedPage& page) {
    try {
        std::unique_ptr<StripCompressor> codec = CompressorFor(options.compression, LevelFor(options));
        if (!codec) return EncodePageThroughLibtiff(samples, width, height, options, page);
        if (!codec->ok()) {
            return Fail(ErrorKind::kOutOfMemory, std::string("out of memory: no room for the ") +
                                                     CompressionName(options.compression) + " encoder");
        }
        return EncodeStrips(samples, width, height, options, *codec, page);
    } catch (const std::bad_alloc&) {
        return Fail(ErrorKind::kOutOfMemory, "out of memory: no room to compress a " + std::to_string(width) + " x " +
                                                 std::to_string(height) + " page");
    }
}

}  // namespace qf
