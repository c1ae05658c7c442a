// The subset of OLE Automation that the acquisition control and the frame pull speak:
// status codes, VARIANT, SAFEARRAY and BSTR, with the same semantics as on Windows
// (lock counts, bounds, a variant that owns its array). Strings are narrow (bytes).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace qf {

using HRESULT = std::int32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DISPID = std::int32_t;
using BSTR = char*;

// <windows.h> defines these as macros of the same values: where it came first, its
// definitions stand (and read the same here), so that a file may include both.
#ifndef S_OK
inline constexpr HRESULT S_OK = 0;
#endif
#ifndef E_FAIL
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
#endif
#ifndef E_INVALIDARG
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
#endif
#ifndef E_OUTOFMEMORY
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
#endif
#ifndef E_POINTER
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
#endif
#ifndef E_UNEXPECTED
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
#endif
#ifndef DISP_E_MEMBERNOTFOUND
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
#endif
#ifndef DISP_E_TYPEMISMATCH
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
#endif
#ifndef DISP_E_EXCEPTION
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
#endif
#ifndef DISP_E_BADINDEX
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
#endif
#ifndef DISP_E_ARRAYISLOCKED
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000D);
#endif
#ifndef DISP_E_BADPARAMCOUNT
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
#endif

#ifndef FAILED
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
#endif

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};
#ifndef VARIANT_TRUE
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
#endif
#ifndef VARIANT_FALSE
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
#endif

struct SAFEARRAYBOUND {
    std::uint32_t cElements;
    std::int32_t lLbound;
};

/// An array descriptor. `bounds[0]` is dimension 1. Create and destroy it only through
/// the SafeArray functions below.
struct SAFEARRAY {
    VARTYPE vt = VT_EMPTY;
    std::uint32_t cbElements = 0;
    std::uint32_t cLocks = 0;
    void* pvData = nullptr;
    std::vector<SAFEARRAYBOUND> bounds;
};

struct VARIANT;
/// 16 bytes like the original; every member of the union is a plain value.
struct VARIANT {
    VARTYPE vt;
    std::uint16_t wReserved1, wReserved2, wReserved3;
    union {
        std::int16_t iVal;
        std::int32_t lVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        SAFEARRAY* parray;
        VARIANT* pvarVal;
    };
};

/// Makes `v` empty (VT_EMPTY) without looking at what it held.
void VariantInit(VARIANT* v);
/// Frees what `v` owns (a BSTR, an array) and makes it empty. A locked array is refused
/// with DISP_E_ARRAYISLOCKED and `v` is left as it was.
HRESULT VariantClear(VARIANT* v);

/// New array of `dims` dimensions of an element type with a known size (VT_I2, VT_I4,
/// VT_UI1, VT_UI2), zero-filled; nullptr when the type is unknown or memory runs out.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, std::uint32_t dims, const SAFEARRAYBOUND* bounds);
/// One-dimensional shorthand of SafeArrayCreate.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lower, std::uint32_t count);
/// The same with elements not zeroed, for a caller that fills every one before handing
/// the array out (a frame read straight into it).
SAFEARRAY* SafeArrayCreateVectorToFill(VARTYPE vt, std::int32_t lower, std::uint32_t count);
/// Frees the array; DISP_E_ARRAYISLOCKED while it is locked; S_OK for nullptr.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayLock(SAFEARRAY* array);
/// E_UNEXPECTED when the array is not locked.
HRESULT SafeArrayUnlock(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
/// Bounds of dimension `dim` (1-based); DISP_E_BADINDEX for a dimension it lacks.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, std::uint32_t dim, std::int32_t* lower);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, std::uint32_t dim, std::int32_t* upper);
/// Hands the storage of an unlocked array of 16-bit elements to the caller, so that its
/// samples need no copy; the array is left without data and is still destroyed as usual.
/// Null for any other array.
std::unique_ptr<std::uint16_t[]> SafeArrayTakeData16(SAFEARRAY* array);
/// How many arrays exist right now: lets tests prove an array was destroyed exactly once.
long SafeArrayLiveCount();

/// A length-prefixed copy of `len` bytes, terminated; nullptr when memory runs out.
BSTR SysAllocStringLen(const char* text, std::uint32_t len);
void SysFreeString(BSTR text);
std::uint32_t SysStringLen(BSTR text);

/// What a call that answered DISP_E_EXCEPTION reports: its status and, in words, why.
/// The caller frees the description.
struct EXCEPINFO {
    HRESULT scode = S_OK;
    BSTR bstrDescription = nullptr;
};

}  // namespace qf
