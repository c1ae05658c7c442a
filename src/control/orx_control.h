// Our acquisition control: it loads ORX files, steps their frames and hands the current
// frame out as a VT_I2 SAFEARRAY. One frame in memory at a time.
#pragma once

#include <string>

#include "control/dispatch.h"
#include "control/orx_format.h"

namespace qf {

class OrxControl : public IDispatchTarget {
public:
    OrxControl() = default;
    ~OrxControl() override;
    OrxControl(const OrxControl&) = delete;
    OrxControl& operator=(const OrxControl&) = delete;

    HRESULT Invoke(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                   EXCEPINFO* excep) override;

    /// Makes `path` the current file at frame 0 after checking all of it; when it is not
    /// a valid ORX file, why not, and no file is current.
    Status LoadFile(const std::string& path);
    const OrxHeader* header() const { return fd_ >= 0 ? &header_ : nullptr; }
    std::int16_t FrameNumber() const { return static_cast<std::int16_t>(frame_); }
    /// Fills `out` with the current frame; an empty variant when no file is current or
    /// the frame cannot be read, and DataError() says why.
    HRESULT GetImageData(VARIANT* out);
    const std::string& DataError() const { return dataError_; }
    bool NextFrame();

private:
    void Close();
    HRESULT InvokeWithArgument(DISPID id, VARIANT& arg, VARIANT* result, EXCEPINFO* excep);
    HRESULT DataFailure(HRESULT status, std::string reason);
    static HRESULT Raise(HRESULT status, const std::string& reason, EXCEPINFO* excep);
    HRESULT InvokeQuery(DISPID id, VARIANT* result);

    int fd_ = -1;
    OrxHeader header_;
    std::uint32_t frame_ = 0;
    std::string dataError_;
};

}  // namespace qf
