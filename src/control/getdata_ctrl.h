// CGetdatactrl1: the typed wrapper through which the batch run and the dialog call the
// acquisition control. Every call goes through the control's Invoke by dispatch id; a
// failing call throws StatusError, as a failed dispatch would.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "control/dispatch.h"
#include "platform/result.h"

namespace qf {

class CGetdatactrl1 {
public:
    /// Hosts our own ORX control.
    CGetdatactrl1();
    /// Borrows `control` (tests put a fake here); it must outlive the wrapper.
    explicit CGetdatactrl1(IDispatchTarget& control);
    /// Hosts `control` (our ORX control made with other settings, such as salvaging).
    explicit CGetdatactrl1(std::unique_ptr<IDispatchTarget> control);
    ~CGetdatactrl1();
    CGetdatactrl1(const CGetdatactrl1&) = delete;
    CGetdatactrl1& operator=(const CGetdatactrl1&) = delete;

    bool StartDriver();
    /// Makes `path` the current file; when the control cannot, the reason it gives
    /// (kControlFailed when the control failed the call without a reason: it is broken).
    /// Never throws.
    Status LoadFile(const std::string& path);
    std::int16_t GetFrameNumber();
    /// `data` must be empty; it receives the frame's array and the caller owns it.
    std::int32_t GetImageData(VARIANT* data);
    std::int16_t GetImageWidth();
    std::int16_t GetImageHeight();
    bool IsFullResolution();
    bool NextFrame();
    /// How long the control needs after a load or a step before it answers for the new
    /// frame: its own answer, or 300 ms for a control that does not say.
    std::chrono::milliseconds SettleTime();

private:
    VARIANT Call(DISPID id, const char* name, VARIANT* args = nullptr, unsigned argCount = 0);
    HRESULT TryCall(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result, std::string* reason);
    std::int16_t CallI2(DISPID id, const char* name);
    bool CallBool(DISPID id, const char* name);

    std::unique_ptr<IDispatchTarget> owned_;
    IDispatchTarget* control_;
};

}  // namespace qf
