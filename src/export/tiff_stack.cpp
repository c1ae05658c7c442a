#include "export/tiff_stack.h"

#include <cstring>
#include <sstream>

#include "export/ome_xml.h"
#include "export/page_encoder.h"
#include "export/page_workers.h"
#include "export/tiff_export.h"
#include "export/tiff_handle.h"
#include "export/tiff_layout.h"
#include "platform/memory.h"

namespace qf {
namespace {

// Per page: a directory of under 20 entries, its out-of-line values (resolutions,
// description) and the strip offset and count tables, 8 bytes an entry in a BigTIFF.
constexpr std::uint64_t kPageOverhead = 4096;
constexpr std::uint64_t kClassicLimit = std::uint64_t{1} << 32;

}  // namespace

std::uint64_t StackBytesAtMost(std::uint64_t pages, std::uint32_t width, std::uint32_t height,
                               Compression compression) {
    const std::uint32_t rows = StripRows(width, height);
    const std::uint64_t rowBytes = std::uint64_t{width} * 2;
    const std::uint64_t full = height / rows, rest = height % rows;
    std::uint64_t samples = full * StripBytesAtMost(compression, rows * rowBytes);
    if (rest > 0) samples += StripBytesAtMost(compression, rest * rowBytes);
    const std::uint64_t strips = full + 1;
    return 16 + pages * (samples + kPageOverhead + strips * 16);
}

bool StackNeedsBigTiff(std::uint64_t pages, std::uint32_t width, std::uint32_t height, Compression compression) {
    return StackBytesAtMost(pages, width, height, compression) >= kClassicLimit;
}

std::string ImageJDescription(std::uint32_t pages, const PixelSize& size) {
    std::ostringstream text;
    // An acquisition is a time series: frames, not slices, and no slice spacing to claim.
    text << "ImageJ=1.11a\nimages=" << pages << "\nframes=" << pages << "\n";
    if (pages > 1) text << "hyperstack=true\n";
    if (size.known()) text << "unit=um\n";
    text << "loop=false\n";
    return text.str();
}

TiffStackWriter::TiffStackWriter(const OutputTarget& target, ExportKind kind, std::uint32_t pages,
                                 const ExportOptions& options)
    : out_(target), kind_(kind), pages_(pages), options_(options) {
    options_.stack = true;
}

TiffStackWriter::~TiffStackWriter() = default;

void TiffStackWriter::EncodeWith(int jobs) { jobs_ = std::max(1, jobs); }

// The first failure is the stack's: the temporary goes at once, the target stays as it was.
Status TiffStackWriter::Fail(ErrorKind kind, std::string message) {
    if (failed_.ok()) failed_ = Error{kind, std::move(message)};
    encoders_.reset();
    handle_.reset();
    out_.Fail(failed_.kind(), failed_.message());
    (void)out_.Commit();
    return failed_;
}

Status TiffStackWriter::Start(const FrameImage& first) {
    if (!CompressionAvailable(options_.compression)) {
        return Fail(ErrorKind::kCannotCreate, std::string("cannot create: this build's libtiff cannot write ") +
                                                  CompressionName(options_.compression) + " compression");
    }
    width_ = first.width;
    height_ = first.height;
    bigTiff_ = options_.bigTiff || StackNeedsBigTiff(pages_, static_cast<std::uint32_t>(width_),
                                                     static_cast<std::uint32_t>(height_), options_.compression);
    if (!out_.ok()) return out_.Commit();  // the temporary could not be made: say why
    handle_ = std::make_unique<TiffHandle>(out_, bigTiff_);
    if (!handle_->open()) return out_.Commit();
    if (jobs_ > 1 && EncodedInWorkers(options_.compression)) {
        encoders_ = std::make_unique<PageEncoders>(jobs_, options_, kind_ == kNormalizedTiff);
    }
    return Status::Ok();
}

Status TiffStackWriter::AddPage(const FrameImage& frame) {
    if (!failed_.ok()) return failed_;
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return Fail(shape.kind(), shape.message());
    if (added_ == 0) {
        if (Status started = Start(frame); !started.ok()) return Fail(started.kind(), started.message());
        description_ = options_.ome ? OmeDescription(frame) : ImageJDescription(pages_, options_.pixelSize);
    } else if (frame.width != width_ || frame.height != height_) {
        return Fail(ErrorKind::kInvalid, "the frame is " + std::to_string(frame.width) + " x " +
                                             std::to_string(frame.height) + ", the stack's pages " +
                                             std::to_string(width_) + " x " + std::to_string(height_));
    }
    if (added_ >= pages_) return Fail(ErrorKind::kInvalid, "more frames than the stack's " + std::to_string(pages_));
    ++added_;
    if (encoders_) return AddToWorkers(frame);
    const std::uint16_t* samples = frame.samples.get();
    Result<std::unique_ptr<std::uint16_t[]>> scaled = std::unique_ptr<std::uint16_t[]>();
    if (kind_ == kNormalizedTiff) {
        scaled = NormalizedSamples(frame);
        if (!scaled.ok()) return Fail(scaled.error().kind, scaled.message());
        samples = scaled.value().get();
    }
    const auto w = static_cast<std::uint32_t>(width_);
    const auto h = static_cast<std::uint32_t>(height_);
    TIFF* tif = handle_->tif();
    if (!SetPageTags() || !WriteLayoutStrips(tif, w, h, samples, options_) || TIFFWriteDirectory(tif) != 1) {
        return WriteFailed();
    }
    ++written_;
    return Status::Ok();
}

bool TiffStackWriter::SetPageTags() {
    TIFF* tif = handle_->tif();
    bool ok = SetLayoutTags(tif, static_cast<std::uint32_t>(width_), static_cast<std::uint32_t>(height_), options_);
    if (ok && written_ == 0) ok = TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description_.c_str()) == 1;
    return ok;
}

Status TiffStackWriter::WriteFailed() {
    handle_->Close(false);
    return Fail(ErrorKind::kWriteFailed, out_.Commit().message());
}

Status TiffStackWriter::AddToWorkers(const FrameImage& frame) {
    FrameImage copy;
    copy.width = frame.width;
    copy.height = frame.height;
    copy.count = frame.count;
    copy.samples = TryAllocateFrameBuffer<std::uint16_t>(frame.count);
    if (!copy.samples) {
        return Fail(ErrorKind::kOutOfMemory, "out of memory: no room for a " + std::to_string(frame.width) + " x " +
                                                 std::to_string(frame.height) + " page");
    }
    std::memcpy(copy.samples.get(), frame.samples.get(), static_cast<std::size_t>(frame.count) * 2);
    encoders_->Submit(std::move(copy));
    return WriteDonePages(static_cast<std::size_t>(jobs_));
}

Status TiffStackWriter::WriteDonePages(std::size_t waiting) {
    while (encoders_->waiting() > waiting) {
        const std::shared_ptr<PageEncoders::Page> page = encoders_->TakeOldest();
        if (!page->status.ok()) return Fail(page->status.kind(), page->status.message());
        TIFF* tif = handle_->tif();
        if (!SetPageTags() || !WriteRawStrips(tif, page->encoded) || TIFFWriteDirectory(tif) != 1) return WriteFailed();
        ++written_;
    }
    return Status::Ok();
}

// The file's UUID comes from what it holds and is called, so that a run with any number of
// jobs, or the same run again, writes the same bytes.
std::string TiffStackWriter::OmeDescription(const FrameImage& first) const {
    OmeImage image;
    const std::string& name = out_.path();
    const std::size_t slash = name.find_last_of("/\\");
    image.fileName = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::size_t dot = image.fileName.find('.');
    image.name = dot == std::string::npos ? image.fileName : image.fileName.substr(0, dot);
    image.width = static_cast<std::uint32_t>(width_);
    image.height = static_cast<std::uint32_t>(height_);
    image.frames = pages_;
    image.significantBits = kind_ == kNormalizedTiff ? 16 : options_.significantBits;
    image.pixelSize = options_.pixelSize;
    const auto* bytes = reinterpret_cast<const char*>(first.samples.get());
    std::string seed = image.fileName + "|" + std::to_string(pages_) + "|" + std::to_string(kind_) + "|";
    seed.append(bytes, static_cast<std::size_t>(first.count) * 2);
    image.uuid = OmeUuid(seed);
    return OmeXml(image);
}

Status TiffStackWriter::Finish() {
    if (!failed_.ok()) return failed_;
    if (encoders_) {
        if (Status rest = WriteDonePages(0); !rest.ok()) return rest;
        encoders_.reset();
    }
    if (written_ != pages_ || !handle_) {
        return Fail(ErrorKind::kInvalid, "the stack has " + std::to_string(written_) + " of its " +
                                             std::to_string(pages_) + " pages; not written");
    }
    handle_->Close(true);
    return out_.Commit();
}

}  // namespace qf
