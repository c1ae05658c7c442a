// Allocator policy for frame-sized buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "platform/status_error.h"

namespace qf {

/// A buffer of `count` elements (at least one, so that an empty frame has a valid
/// pointer), uninitialised; null when memory runs out.
template <typename T>
std::unique_ptr<T[]> TryAllocateFrameBuffer(std::int32_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count > 0 ? static_cast<std::size_t>(count) : 1]);
}

/// The same for the frame transfer, whose contract reports exhaustion by throwing
/// OutOfMemoryError.
template <typename T>
std::unique_ptr<T[]> AllocateFrameBuffer(std::int32_t count) {
    std::unique_ptr<T[]> buffer = TryAllocateFrameBuffer<T>(count);
    if (!buffer) throw OutOfMemoryError("out of memory: no room for a frame of " + std::to_string(count) + " samples");
    return buffer;
}

/// Lets the allocator keep freed frame buffers (up to 32 MB each, 64 MB spare in all) for
/// the next frame instead of handing them back to the system and faulting fresh pages in
/// for every frame. Call once at program start.
void KeepFrameBuffersForReuse();

}  // namespace qf
