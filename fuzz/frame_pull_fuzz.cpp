// PullFrame against arbitrary transfers: element type, dimensions, bounds, sizes,
// resolution and kind all come from the input. It may fail, never crash or leak an array.
#include <cstdlib>

#include "control/getdata_ctrl.h"
#include "convert/frame_pull.h"
#include "fuzz_input.h"
#include "platform/status_error.h"

namespace {

using namespace qf;

class ShapedControl : public IDispatchTarget {
public:
    explicit ShapedControl(fuzz::FuzzInput& in) : in_(in) {}
    HRESULT Invoke(DISPID id, VARIANT* args, unsigned, VARIANT* result, EXCEPINFO*) override {
        VariantInit(result);
        switch (id) {
            case kDispGetImageData: Fill(args[0].pvarVal); return S_OK;
            case kDispGetImageWidth: result->vt = VT_I2; result->iVal = in_.Take<std::int16_t>(); return S_OK;
            case kDispGetImageHeight: result->vt = VT_I2; result->iVal = in_.Take<std::int16_t>(); return S_OK;
            case kDispIsFullResolution:
                result->vt = VT_BOOL;
                result->boolVal = in_.TakeBool() ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    void Fill(VARIANT* out) {
        const std::uint8_t shape = in_.Take<std::uint8_t>();
        if (shape % 8 == 0) return;  // no array at all
        static constexpr VARTYPE kTypes[] = {VT_I2, VT_I2, VT_I4, VT_UI2, VT_UI1};
        const VARTYPE vt = kTypes[in_.Take<std::uint8_t>() % 5];
        const std::uint32_t dims = 1 + in_.Take<std::uint8_t>() % 3;
        SAFEARRAYBOUND bounds[3];
        for (std::uint32_t d = 0; d < dims; ++d) {
            // Dimensions past the first stay small: the pull reads dimension 1 only.
            bounds[d].cElements = in_.Take<std::uint16_t>() % (d == 0 ? 4097u : 17u);
            bounds[d].lLbound = in_.Take<std::int8_t>();
        }
        SAFEARRAY* array = SafeArrayCreate(vt, dims, bounds);
        if (!array) return;
        if (shape % 8 == 1) array->bounds.clear();  // a descriptor with no dimensions
        out->vt = static_cast<VARTYPE>(shape % 8 == 2 ? VT_I4 : (VT_ARRAY | vt));
        out->parray = array;
        if (shape % 8 == 2) SafeArrayDestroy(array);  // a variant that is no array
    }

    fuzz::FuzzInput& in_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    const auto kind = static_cast<ExportKind>(in.Take<std::uint8_t>() % 4);
    ShapedControl control(in);
    CGetdatactrl1 wrapper(control);
    const long arrays = SafeArrayLiveCount();
    try {
        FrameImage frame = PullFrame(wrapper, kind);
        if (frame.width < 0 || frame.height < 0 || frame.count != frame.width * frame.height) std::abort();
    } catch (const StatusError&) {
    }
    if (SafeArrayLiveCount() != arrays) std::abort();
    return 0;
}
