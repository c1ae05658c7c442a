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
};

}  // namespace

CGetdatactrl1::CGetdatactrl1() : owned_(std::make_unique<OrxControl>()), control_(owned_.get()) {}
CGetdatactrl1::CGetdatactrl1(IDispatchTarget& control) : control_(&control) {}
CGetdatactrl1::~CGetdatactrl1() = default;

VARIANT CGetdatactrl1::Call(DISPID id, const char* name, VARIANT* args, unsigned argCount) {
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep;
    HRESULT hr = control_->Invoke(id, args, argCount, &result, &excep);
    if (FAILED(hr)) {
        VariantClear(&result);
        if (hr == DISP_E_EXCEPTION && excep.bstrDescription) {
            // The control said why in words: that is what the user reads.
            std::string reason(excep.bstrDescription, SysStringLen(excep.bstrDescription));
            SysFreeString(excep.bstrDescription);
            ThrowStatusWithReason(FAILED(excep.scode) ? excep.scode : hr, reason);
        }
        ThrowStatus(hr, std::string("acquisition control ") + name);
    }
    return result;
}

std::int16_t CGetdatactrl1::CallI2(DISPID id, const char* name) {
    VariantScope r;
    r.v = Call(id, name);
    if (r.v.vt != VT_I2) ThrowStatus(DISP_E_TYPEMISMATCH, std::string("acquisition control ") + name);
    return r.v.iVal;
}

bool CGetdatactrl1::CallBool(DISPID id, const char* name) {
    VariantScope r;
    r.v = Call(id, name);
    if (r.v.vt != VT_BOOL) ThrowStatus(DISP_E_TYPEMISMATCH, std::string("acquisition control ") + name);
    return r.v.boolVal != VARIANT_FALSE;
}

bool CGetdatactrl1::StartDriver() { return CallBool(kDispStartDriver, "StartDriver"); }

std::int32_t CGetdatactrl1::LoadFile(const std::string& path) {
    VariantScope arg;
    arg.v.vt = VT_BSTR;
    arg.v.bstrVal = SysAllocStringLen(path.data(), static_cast<std::uint32_t>(path.size()));
    if (!arg.v.bstrVal) ThrowStatus(E_OUTOFMEMORY, "LoadFile");
    VariantScope r;
    r.v = Call(kDispLoadFile, "LoadFile", &arg.v, 1);
    return r.v.vt == VT_I4 ? r.v.lVal : 0;
}

std::string CGetdatactrl1::GetLoadError() {
    VariantScope r;
    r.v = Call(kDispGetLoadError, "GetLoadError");
    if (r.v.vt != VT_BSTR || !r.v.bstrVal) return "";
    return std::string(r.v.bstrVal, SysStringLen(r.v.bstrVal));
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

}  // namespace qf
