#include "export/frame_image.h"

namespace qf {

Status CheckFrameShape(std::int16_t width, std::int16_t height, std::int32_t count, bool hasBuffer) {
    if (width < 0 || height < 0) return Fail(ErrorKind::kInvalid, "malformed frame: negative width or height");
    if (count != std::int32_t{width} * height) {
        return Fail(ErrorKind::kInvalid, "malformed frame: sample count does not match its size");
    }
    if (count == 0) return Fail(ErrorKind::kNoSamples, "the frame has no samples (its width or height is 0)");
    if (!hasBuffer) return Fail(ErrorKind::kInvalid, "malformed frame: no samples");
    return Status::Ok();
}

}  // namespace qf
