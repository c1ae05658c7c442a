#include "test/fake_control.h"

namespace qf::test {

SAFEARRAY* MakeI2Array(std::int32_t lower, std::uint32_t count, std::int16_t first) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, lower, count);
    auto* data = static_cast<std::int16_t*>(array->pvData);
    for (std::uint32_t i = 0; i < count; ++i) data[i] = static_cast<std::int16_t>(first + i);
    return array;
}

FakeControl::FakeControl() {
    makeArray = [this] {
        return MakeI2Array(0, static_cast<std::uint32_t>(std::max(width * height, 0)), 1);
    };
}

HRESULT FakeControl::Invoke(DISPID id, VARIANT* args, unsigned, VARIANT* result, EXCEPINFO* excep) {
    VariantInit(result);
    auto i2 = [&](std::int16_t v) { result->vt = VT_I2; result->iVal = v; };
    auto boolean = [&](bool v) { result->vt = VT_BOOL; result->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; };
    switch (id) {
        case kDispStartDriver: calls.push_back("StartDriver"); boolean(true); return S_OK;
        case kDispLoadFile: {
            std::string path(args[0].bstrVal, SysStringLen(args[0].bstrVal));
            calls.push_back("LoadFile");
            loadedPaths.push_back(path);
            position = 0;
            result->vt = VT_I4;
            result->lVal = loadStatus ? loadStatus(path) : 0;
            if (result->lVal == 0) return S_OK;
            if (excep) {
                excep->scode = E_FAIL;
                excep->bstrDescription = SysAllocStringLen(loadError.data(), static_cast<std::uint32_t>(loadError.size()));
            }
            return DISP_E_EXCEPTION;
        }
        case kDispGetFrameNumber:
            calls.push_back("GetFrameNumber");
            i2(frameNumbers[position % frameNumbers.size()]);
            return S_OK;
        case kDispGetImageData: {
            calls.push_back("GetImageData");
            VARIANT* out = args[0].pvarVal;
            if (SAFEARRAY* array = makeArray ? makeArray() : nullptr) {
                out->vt = VT_ARRAY | VT_I2;
                out->parray = array;
            }
            result->vt = VT_I4;
            result->lVal = 0;
            return S_OK;
        }
        case kDispGetImageWidth: calls.push_back("GetImageWidth"); i2(width); return S_OK;
        case kDispGetImageHeight: calls.push_back("GetImageHeight"); i2(height); return S_OK;
        case kDispIsFullResolution: calls.push_back("IsFullResolution"); boolean(fullResolution); return S_OK;
        case kDispNextFrame: calls.push_back("NextFrame"); ++position; boolean(true); return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace qf::test
