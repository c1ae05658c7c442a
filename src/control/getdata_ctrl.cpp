#include "control/getdata_ctrl.h"

#include "control/orx_control.h"
#include "platform/status_error.h"

namespace qf {
namespace {

// Frees what a result variant owns when the call that filled it ends.
struct VariantScope {
    VARIANT v;
    VariantScope() { VariantInit(&v); }
    ~VariantScope() { VariantClear(&v); }
    VariantScope(const VariantScope&) = delete;
    VariantScope& operator=(const VariantScope&) = delete;
};

}  // namespace

CGetdatactrl1::CGetdatactrl1() : owned_(std::make_unique<OrxControl>()), control_(owned_.get()) {}
CGetdatactrl1::CGetdatactrl1(IDispatchTarget& control) : control_(&control) {}
CGetdatactrl1::CGetdatactrl1(std::unique_ptr<IDispatchTarget> control)
    : owned_(std::move(control)), control_(owned_.get()) {}
CGetdatactrl1::~CGetdatactrl1() = default;

// The call's status; for a failure the control explained, that status and `reason`.
HRESULT CGetdatactrl1::TryCall(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                               std::string* reason) {
    VariantInit(result);
    EXCEPINFO excep;
    HRESULT hr = control_->Invoke(id, args, argCount, result, &excep);
    if (FAILED(hr)) VariantClear(result);
    if (hr == DISP_E_EXCEPTION && excep.bstrDescription) {
        reason->assign(excep.bstrDescription, SysStringLen(excep.bstrDescription));
        SysFreeString(excep.bstrDescription);
        if (FAILED(excep.scode)) hr = excep.scode;
    }
    return hr;
}

VARIANT CGetdatactrl1::Call(DISPID id, const char* name, VARIANT* args, unsigned argCount) {
    VARIANT result;
    std::string reason;
    HRESULT hr = TryCall(id, args, argCount, &result, &reason);
    if (FAILED(hr)) {
        // The control said why in words: that is what the user reads.
        if (!reason.empty()) ThrowStatusWithReason(hr, reason);
        ThrowStatus(hr, std::string("the acquisition control's ") + name + " failed");
    }
    return result;
}

std::int16_t CGetdatactrl1::CallI2(DISPID id, const char* name) {
    VariantScope r;
    r.v = Call(id, name);
    if (r.v.vt != VT_I2) ThrowStatus(DISP_E_TYPEMISMATCH, std::string("the acquisition control answered ") + name + " with a value of the wrong type");
    return r.v.iVal;
}

bool CGetdatactrl1::CallBool(DISPID id, const char* name) {
    VariantScope r;
    r.v = Call(id, name);
    if (r.v.vt != VT_BOOL) ThrowStatus(DISP_E_TYPEMISMATCH, std::string("the acquisition control answered ") + name + " with a value of the wrong type");
    return r.v.boolVal != VARIANT_FALSE;
}

bool CGetdatactrl1::StartDriver() { return CallBool(kDispStartDriver, "StartDriver"); }

Status CGetdatactrl1::LoadFile(const std::string& path) {
    VariantScope arg;
    arg.v.vt = VT_BSTR;
    arg.v.bstrVal = SysAllocStringLen(path.data(), static_cast<std::uint32_t>(path.size()));
    if (!arg.v.bstrVal) return Fail(ErrorKind::kOutOfMemory, "out of memory: no room for the file's name");
    VariantScope r;
    std::string reason;
    const HRESULT hr = TryCall(kDispLoadFile, &arg.v, 1, &r.v, &reason);
    // A file the control refuses is an everyday event, told in its own words; a control
    // that fails without a word is broken, and that ends the run as any failed call does.
    if (FAILED(hr) && reason.empty()) {
        return Fail(ErrorKind::kControlFailed, "the acquisition control's LoadFile failed [" + DescribeStatus(hr) + "]");
    }
    if (FAILED(hr)) return Fail(ErrorKind::kInvalid, reason);
    if (r.v.vt == VT_I4 && r.v.lVal != 0) {
        return Fail(ErrorKind::kInvalid, "the control did not load it (status " + std::to_string(r.v.lVal) + ")");
    }
    return Status::Ok();
}

std::int16_t CGetdatactrl1::GetFrameNumber() { return CallI2(kDispGetFrameNumber, "GetFrameNumber"); }

std::int32_t CGetdatactrl1::GetImageData(VARIANT* data) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BYREF | VT_VARIANT;
    arg.pvarVal = data;
    VariantScope r;
    r.v = Call(kDispGetImageData, "GetImageData", &arg, 1);
    return r.v.vt == VT_I4 ? r.v.lVal : 0;
}

std::int16_t CGetdatactrl1::GetImageWidth() { return CallI2(kDispGetImageWidth, "GetImageWidth"); }
std::int16_t CGetdatactrl1::GetImageHeight() { return CallI2(kDispGetImageHeight, "GetImageHeight"); }
bool CGetdatactrl1::IsFullResolution() { return CallBool(kDispIsFullResolution, "IsFullResolution"); }
bool CGetdatactrl1::NextFrame() { return CallBool(kDispNextFrame, "NextFrame"); }

std::chrono::milliseconds CGetdatactrl1::SettleTime() {
    constexpr std::chrono::milliseconds kHardwareSettle{300};
    VariantScope r;
    std::string reason;
    if (FAILED(TryCall(kDispGetSettleTime, nullptr, 0, &r.v, &reason)) || r.v.vt != VT_I4 || r.v.lVal < 0) {
        return kHardwareSettle;
    }
    return std::chrono::milliseconds(r.v.lVal);
}

}  // namespace qf
