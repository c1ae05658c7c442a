// Where a run's frames go, whatever the kind, the layout or the codec: an output is opened
// for a known number of pages, takes them in frame order and is finished. A file of its own
// for each frame is an output of one page; a stack (--stack) is one of every frame of a
// data file. Destroyed unfinished, an output leaves nothing of itself in place.
#pragma once

#include <cstdint>
#include <memory>

#include "export/export_kinds.h"
#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/output_file.h"

namespace qf {

class ImageOutput {
public:
    virtual ~ImageOutput() = default;
    ImageOutput() = default;
    ImageOutput(const ImageOutput&) = delete;
    ImageOutput& operator=(const ImageOutput&) = delete;

    /// Before the first page: up to `jobs` workers may encode pages while the caller pulls
    /// the next frames. The bytes are the same for any number. An output of one page has
    /// nothing to share and ignores it.
    virtual void EncodeWith(int jobs) { (void)jobs; }
    /// Takes `frame` as the next page. After a failure nothing more is written, and
    /// Finish() says why.
    virtual Status AddPage(const FrameImage& frame) = 0;
    /// After the last page: the output is in place, complete, or the reason it is not (fewer
    /// pages than announced included), the target left as it was.
    virtual Status Finish() = 0;
};

/// `kind`'s output of `pages` pages for `target`: a stack of them when `options.stack`
/// holds for a TIFF kind, otherwise one frame's file (`pages` is then 1 whatever it says).
std::unique_ptr<ImageOutput> OpenImageOutput(const OutputTarget& target, const ExportKindInfo& kind,
                                             std::uint32_t pages, const ExportOptions& options);

}  // namespace qf
