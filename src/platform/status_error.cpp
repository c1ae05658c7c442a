#include "platform/status_error.h"

#include <cstdio>

namespace qf {

std::string DescribeStatus(HRESULT status) {
    const char* name = nullptr;
    switch (status) {
        case E_FAIL: name = "E_FAIL"; break;
        case E_INVALIDARG: name = "E_INVALIDARG"; break;
        case E_OUTOFMEMORY: name = "E_OUTOFMEMORY"; break;
        case E_POINTER: name = "E_POINTER"; break;
        case E_UNEXPECTED: name = "E_UNEXPECTED"; break;
        case DISP_E_MEMBERNOTFOUND: name = "DISP_E_MEMBERNOTFOUND"; break;
        case DISP_E_TYPEMISMATCH: name = "DISP_E_TYPEMISMATCH"; break;
        case DISP_E_BADINDEX: name = "DISP_E_BADINDEX"; break;
        case DISP_E_ARRAYISLOCKED: name = "DISP_E_ARRAYISLOCKED"; break;
        case DISP_E_BADPARAMCOUNT: name = "DISP_E_BADPARAMCOUNT"; break;
        case DISP_E_EXCEPTION: name = "DISP_E_EXCEPTION"; break;
        default: break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
    return name ? std::string(name) + " (" + hex + ")" : std::string(hex);
}

void ThrowStatusWithReason(HRESULT status, const std::string& reason) {
    std::string message = reason + " [" + DescribeStatus(status) + "]";
    if (status == E_OUTOFMEMORY) throw OutOfMemoryError(message);
    throw StatusError(status, message);
}

void ThrowStatus(HRESULT status, const std::string& context) { ThrowStatusWithReason(status, context); }

}  // namespace qf
