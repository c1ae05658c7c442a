// One multi-page TIFF per data file (--stack): every frame a page of the kind, in frame
// order, written one page at a time into the crash-safe output, with the description
// ImageJ reads to open it as a stack. BigTIFF when the pages would pass 4 GiB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "export/image_output.h"
#include "platform/output_file.h"

namespace qf {

class TiffHandle;
class PageEncoders;

/// The bytes a stack of `pages` pages of `width` x `height` samples compressed as
/// `compression` takes at most, whatever the samples: each strip at the codec's worst case,
/// each page's directory and strip tables, the header, the description.
std::uint64_t StackBytesAtMost(std::uint64_t pages, std::uint32_t width, std::uint32_t height,
                               Compression compression = Compression::kNone);

/// True when a classic TIFF might not hold that stack (its offsets end at 4 GiB).
bool StackNeedsBigTiff(std::uint64_t pages, std::uint32_t width, std::uint32_t height,
                       Compression compression = Compression::kNone);

/// The first page's ImageDescription: ImageJ's "ImageJ=1.11a", images and frames (a time
/// series, a hyperstack of one channel and one slice), with a known pixel size its unit (um;
/// the size itself is in the resolution tags).
std::string ImageJDescription(std::uint32_t pages, const PixelSize& size);

class TiffStackWriter final : public ImageOutput {
public:
    /// A stack of `pages` pages of `kind` (normalized or standardized TIFF) for `target`;
    /// nothing is in place before Finish(). A failure to create it shows at AddPage().
    TiffStackWriter(const OutputTarget& target, ExportKind kind, std::uint32_t pages, const ExportOptions& options);
    ~TiffStackWriter() override;
    TiffStackWriter(const TiffStackWriter&) = delete;
    TiffStackWriter& operator=(const TiffStackWriter&) = delete;

    /// Before the first page: `jobs` workers scale and compress the pages (compressed ones;
    /// uncompressed pages, and every page with one job, the caller writes itself), while
    /// the caller pulls the next frames; pages are still written in order, byte for byte as
    /// one job writes them. At most `jobs` + 1 pages wait in memory.
    void EncodeWith(int jobs) override;
    /// Writes `frame` as the next page (normalized pages each stretched to their own
    /// brightest sample). Every page has the first one's size. After a failure nothing
    /// more is written and Finish() reports it (with workers, a page's failure may show
    /// at a later AddPage or at Finish()).
    Status AddPage(const FrameImage& frame) override;
    /// After the last page: closes the file and puts it in place, complete; or reports
    /// why not (fewer pages than announced included), leaving the target untouched.
    Status Finish() override;
    /// True once the first page chose BigTIFF (asked for, or needed by the size).
    bool bigTiff() const { return bigTiff_; }

private:
    Status Start(const FrameImage& first);
    /// The tags (and on the first page the description) of the next page.
    bool SetPageTags();
    /// A page did not go into the file: the stack fails with libtiff's words.
    Status WriteFailed();
    /// Hands `frame` to the workers, then writes the pages they have done, oldest first,
    /// while more than `jobs` wait.
    Status AddToWorkers(const FrameImage& frame);
    Status WriteDonePages(std::size_t waiting);
    std::string OmeDescription(const FrameImage& first) const;
    Status Fail(ErrorKind kind, std::string message);

    OutputFile out_;
    std::unique_ptr<TiffHandle> handle_;
    ExportKind kind_;
    std::uint32_t pages_;
    std::uint32_t added_ = 0;    ///< pages handed to AddPage
    std::uint32_t written_ = 0;  ///< pages in the file
    ExportOptions options_;
    std::int16_t width_ = 0, height_ = 0;
    bool bigTiff_ = false;
    int jobs_ = 1;
    std::unique_ptr<PageEncoders> encoders_;
    std::string description_;  ///< the first page's, made when it is handed out
    Status failed_;
};

}  // namespace qf
