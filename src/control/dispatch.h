// Late-bound calls on the acquisition control: every operation by dispatch id, as a
// method call, arguments and result in VARIANTs.
#pragma once

#include "platform/oleauto.h"

namespace qf {

enum AcquisitionDispId : DISPID {
    kDispNextFrame = 61,
    kDispLoadFile = 87,
    kDispGetFrameNumber = 90,
    kDispGetImageWidth = 105,
    kDispIsFullResolution = 106,
    kDispStartDriver = 119,
    kDispGetImageHeight = 188,
    kDispGetImageData = 209,
    /// Ours: how long, in ms, the control needs to settle after a load or a step (VT_I4).
    /// A control that does not know it is given the 300 ms that hardware controls need.
    kDispGetSettleTime = 301,
};

/// A component reached by dispatch id.
class IDispatchTarget {
public:
    virtual ~IDispatchTarget() = default;
    /// Invokes `id` as a method with `argCount` arguments; `result` (may be null) receives
    /// the answer. DISP_E_MEMBERNOTFOUND for an unknown id, DISP_E_BADPARAMCOUNT or
    /// DISP_E_TYPEMISMATCH for arguments that do not fit. An operation that fails for a
    /// reason of its own answers DISP_E_EXCEPTION and fills `excep` (may be null).
    virtual HRESULT Invoke(DISPID id, VARIANT* args, unsigned argCount, VARIANT* result,
                           EXCEPINFO* excep) = 0;
};

}  // namespace qf
