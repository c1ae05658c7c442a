// A scripted acquisition control for tests: frame numbers, sizes, resolution and the
// array it hands out are all set by the test; every call is logged by name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/dispatch.h"

namespace qf::test {

/// A VT_I2 vector whose element i holds `first + i`.
SAFEARRAY* MakeI2Array(std::int32_t lower, std::uint32_t count, std::int16_t first = 0);

class FakeControl : public IDispatchTarget {
public:
    FakeControl();
    HRESULT Invoke(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                   EXCEPINFO* excep) override;

    /// What GetFrameNumber reports at each step; NextFrame moves on and wraps around.
    std::vector<std::int16_t> frameNumbers = {0};
    std::int16_t width = 2;
    std::int16_t height = 2;
    bool fullResolution = true;
    /// Builds the array GetImageData puts into the variant (nullptr: none).
    std::function<SAFEARRAY*()> makeArray;
    /// LoadFile's answer for each path (0 when absent); any other answer fails the call
    /// with `loadError` as its reason.
    std::function<std::int32_t(const std::string&)> loadStatus;
    std::string loadError = "cannot load";

    std::vector<std::string> calls;
    std::vector<std::string> loadedPaths;
    std::size_t position = 0;
};

}  // namespace qf::test
