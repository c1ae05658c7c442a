#include "platform/memory.h"

#include "platform/file_io.h"

namespace qf {

void KeepFrameBuffersForReuse() { TuneAllocatorForFrames(); }

}  // namespace qf
