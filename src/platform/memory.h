// Allocator policy for frame-sized buffers.
#pragma once

namespace qf {

/// Lets the allocator keep freed frame buffers (up to 32 MB each, 64 MB spare in all) for
/// the next frame instead of handing them back to the system and faulting fresh pages in
/// for every frame. Call once at program start.
void KeepFrameBuffersForReuse();

}  // namespace qf
