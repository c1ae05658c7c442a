#include "export/image_output.h"

#include "export/tiff_stack.h"

namespace qf {
namespace {

// One frame, one file: the kind's writer lays the page out and puts the file in place as
// it is given, so the page is written by the time AddPage returns.
class FrameFileOutput final : public ImageOutput {
public:
    FrameFileOutput(const OutputTarget& target, FrameWriter write, const ExportOptions& options)
        : target_(target), write_(write), options_(options) {}

    Status AddPage(const FrameImage& frame) override {
        if (!written_.ok()) return written_;
        if (added_) {
            written_ = Error{ErrorKind::kInvalid, "a second frame for a file of one"};
            return written_;
        }
        added_ = true;
        written_ = write_(target_, frame, options_);
        return written_;
    }

    Status Finish() override {
        if (written_.ok() && !added_) written_ = Error{ErrorKind::kInvalid, "no frame for the file; not written"};
        return written_;
    }

private:
    OutputTarget target_;
    FrameWriter write_;
    bool added_ = false;
    ExportOptions options_;
    Status written_;
};

}  // namespace

std::unique_ptr<ImageOutput> OpenImageOutput(const OutputTarget& target, const ExportKindInfo& kind,
                                             std::uint32_t pages, const ExportOptions& options) {
    if (options.stack && kind.tiff) return std::make_unique<TiffStackWriter>(target, kind.kind, pages, options);
    return std::make_unique<FrameFileOutput>(target, kind.write, options);
}

}  // namespace qf
