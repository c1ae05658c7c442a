#include "convert/frame_pull.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <new>
#include <string>

#include "platform/memory.h"
#include "platform/status_error.h"

namespace qf {
namespace {

[[noreturn]] void Fail(HRESULT status, const std::string& what) { ThrowStatusWithReason(status, what); }

// Owns the transfer variant; clearing it destroys the array in it.
class TransferVariant {
public:
    TransferVariant() {
        std::memset(&v_, 0, sizeof v_);
        VariantInit(&v_);
    }
    ~TransferVariant() { VariantClear(&v_); }
    TransferVariant(const TransferVariant&) = delete;
    TransferVariant& operator=(const TransferVariant&) = delete;
    VARIANT* get() { return &v_; }
    /// The array field; a variant that holds no array counts as holding none.
    SAFEARRAY* array() const { return (v_.vt & VT_ARRAY) && !(v_.vt & VT_BYREF) ? v_.parray : nullptr; }

private:
    VARIANT v_;
};

// Borrows the array and holds a lock on it while the samples are copied.
class ArrayGuard {
public:
    ArrayGuard() = default;
    ~ArrayGuard() { Release(); }
    ArrayGuard(const ArrayGuard&) = delete;
    ArrayGuard& operator=(const ArrayGuard&) = delete;
    void Attach(SAFEARRAY* array) {
        if (!array) Fail(E_INVALIDARG, "the control handed over no frame data");
        VARTYPE vt = VT_EMPTY;
        HRESULT hr = SafeArrayGetVartype(array, &vt);
        if (FAILED(hr)) Fail(hr, "the type of the control's frame data is unknown");
        if (vt != VT_I2 || array->cbElements != 2) Fail(E_INVALIDARG, "the control's frame data is not 16-bit samples");
        array_ = array;
        SafeArrayLock(array_);
    }
    void Release() {
        if (array_) SafeArrayUnlock(array_);
        array_ = nullptr;
    }
    /// The data of elements 0 to count - 1, after one bounds test for all of them: the
    /// same outcome as testing each element's index against dimension 1's bounds.
    const std::int16_t* Elements(std::int32_t count) const {
        if (!array_) Fail(E_FAIL, "the frame data was released before it was read");
        std::int32_t lower = 0, upper = 0;
        HRESULT hr = SafeArrayGetLBound(array_, 1, &lower);
        if (FAILED(hr)) Fail(hr, "the first index of the control's frame data cannot be read");
        if (lower > 0) {
            Fail(E_INVALIDARG, "the control's frame data starts at index " + std::to_string(lower) + ", not 0");
        }
        hr = SafeArrayGetUBound(array_, 1, &upper);
        if (FAILED(hr)) Fail(hr, "the last index of the control's frame data cannot be read");
        if (upper < count - 1) {
            Fail(E_INVALIDARG, "the control's frame data holds " + std::to_string(static_cast<std::int64_t>(upper) + 1) +
                                   " samples, fewer than the frame's " + std::to_string(count));
        }
        if (!array_->pvData) Fail(E_INVALIDARG, "the control's frame data is empty");
        return static_cast<const std::int16_t*>(array_->pvData) - lower;
    }

    /// The array's storage, handed over (and the lock ended) when its elements start at
    /// index 0, which saves the samples' copy; null, still locked, when they do not.
    std::unique_ptr<std::uint16_t[]> TakeSamples() {
        std::int32_t lower = 0;
        if (!array_ || FAILED(SafeArrayGetLBound(array_, 1, &lower)) || lower != 0) return nullptr;
        SAFEARRAY* array = array_;
        Release();
        return SafeArrayTakeData16(array);
    }

private:
    SAFEARRAY* array_ = nullptr;
};

// The high byte of each sample. Blocks of a fixed size, so that the compiler turns each into
// a few vector instructions even at -O2 (whose cost model keeps loops of unknown length
// scalar); local pointers, as a byte store may alias anything.
std::uint8_t HighByte(std::int16_t sample) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8); }

void KeepHighBytes(const std::int16_t* __restrict in, std::uint8_t* __restrict out, std::size_t n) {
    constexpr std::size_t kBlock = 32;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) out[i + j] = HighByte(in[i + j]);
    }
    for (; i < n; ++i) out[i] = HighByte(in[i]);
}

// Samples of `bits` bits scaled to the 16-bit range, saturating; true when some sample is
// above the range of `bits` bits. Fixed-size blocks as above.
std::uint16_t Scaled(std::uint16_t v, unsigned shift, std::uint16_t limit) {
    return v > limit ? std::uint16_t{65535} : static_cast<std::uint16_t>(v << shift);
}

// Each of `n` samples (`read(i)`) scaled, handed to `write(i, scaled)`; true when some
// sample is above the range of `bits` bits. Fixed-size blocks as above.
template <class Read, class Write>
bool ScaleEach(std::size_t n, int bits, Read read, Write write) {
    const unsigned shift = static_cast<unsigned>(16 - bits);
    const auto limit = static_cast<std::uint16_t>((1u << bits) - 1);
    constexpr std::size_t kBlock = 32;
    std::uint16_t peak = 0;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) {
            const std::uint16_t v = read(i + j);
            peak = std::max(peak, v);
            write(i + j, Scaled(v, shift, limit));
        }
    }
    for (; i < n; ++i) {
        const std::uint16_t v = read(i);
        peak = std::max(peak, v);
        write(i, Scaled(v, shift, limit));
    }
    return peak > limit;
}

bool ScaleSamples(std::uint16_t* __restrict v, std::size_t n, int bits) {
    return ScaleEach(n, bits, [v](std::size_t i) { return v[i]; },
                     [v](std::size_t i, std::uint16_t scaled) { v[i] = scaled; });
}

bool ScaleToHighBytes(const std::int16_t* __restrict in, std::uint8_t* __restrict out, std::size_t n, int bits) {
    return ScaleEach(n, bits, [in](std::size_t i) { return static_cast<std::uint16_t>(in[i]); },
                     [out](std::size_t i, std::uint16_t scaled) { out[i] = static_cast<std::uint8_t>(scaled >> 8); });
}

bool AboveBits(const std::uint16_t* v, std::size_t n, int bits) {
    const auto limit = static_cast<std::uint16_t>((1u << bits) - 1);
    std::uint16_t peak = 0;
    for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, v[i]);
    return peak > limit;
}

// The bounds are tested before anything is allocated, so a control that reports a
// larger frame than its array holds costs no more memory than the array. The 16-bit kinds
// keep the array's own storage where they can: the frame is then never copied.
void CopySamples(ArrayGuard& guard, FrameImage& frame, ExportKind kind, int inputBits) {
    const std::int16_t* in = frame.count > 0 ? guard.Elements(frame.count) : nullptr;
    const auto n = static_cast<std::size_t>(frame.count);
    if (kind == kGrayscaleBitmap) {
        frame.highBytes = AllocateFrameBuffer<std::uint8_t>(frame.count);
        if (in && inputBits >= 16) KeepHighBytes(in, frame.highBytes.get(), n);
        else if (in) frame.overRange = ScaleToHighBytes(in, frame.highBytes.get(), n, inputBits);
        return;
    }
    if (in) frame.samples = guard.TakeSamples();
    if (!frame.samples) {
        frame.samples = AllocateFrameBuffer<std::uint16_t>(frame.count);
        if (in) std::memcpy(frame.samples.get(), in, n * 2);
    }
    if (!in || inputBits >= 16) return;
    if (kind == kFalseColorBitmap) frame.overRange = ScaleSamples(frame.samples.get(), n, inputBits);
    else frame.overRange = AboveBits(frame.samples.get(), n, inputBits);
}

}  // namespace

FrameImage PullFrame(CGetdatactrl1& control, ExportKind kind, int inputBits) {
    inputBits = std::clamp(inputBits, 8, 16);
    TransferVariant transfer;
    ArrayGuard guard;  // released before the variant is cleared
    control.GetImageData(transfer.get());
    FrameImage frame;
    frame.width = control.GetImageWidth();
    frame.height = control.GetImageHeight();
    const bool attachFirst = kind == kNormalizedTiff || kind == kStandardizedTiff;
    if (attachFirst) guard.Attach(transfer.array());
    if (!control.IsFullResolution()) {
        frame.width = static_cast<std::int16_t>(frame.width / 2);
        frame.height = static_cast<std::int16_t>(frame.height / 2);
    }
    if (!attachFirst) guard.Attach(transfer.array());
    frame.count = static_cast<std::int32_t>(frame.width) * frame.height;
    if (Status shape = CheckFrameShape(frame.width, frame.height, frame.count, true);
        !shape.ok() && shape.kind() == ErrorKind::kInvalid) {
        Fail(E_INVALIDARG, shape.message() + " (" + std::to_string(frame.width) + " x " +
                               std::to_string(frame.height) + ")");
    }
    CopySamples(guard, frame, kind, inputBits);
    guard.Release();
    return frame;
}

FrameWalk WalkFrames(CGetdatactrl1& control, const std::function<void()>& settle) {
    FrameWalk walk;
    std::bitset<65536> seen;
    const std::int16_t initial = control.GetFrameNumber();
    std::int16_t next = initial;
    do {
        const std::int16_t w = control.GetFrameNumber();
        seen.set(static_cast<std::uint16_t>(w));
        walk.numbers.push_back(w);
        control.NextFrame();
        if (settle) settle();
        next = control.GetFrameNumber();
        if (next != initial && seen.test(static_cast<std::uint16_t>(next))) {
            walk.repeats = true;
            walk.repeated = next;
            break;
        }
    } while (next != initial);
    return walk;
}

}  // namespace qf
