#include "platform/memory.h"

#include <malloc.h>

namespace qf {

void KeepFrameBuffersForReuse() {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

}  // namespace qf
