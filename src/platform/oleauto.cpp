#include "platform/oleauto.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qf {
namespace {

std::atomic<long> g_liveArrays{0};

std::uint32_t ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4: return 4;
        default: return 0;
    }
}

}  // namespace

void VariantInit(VARIANT* v) {
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        }
    }
    VariantInit(v);
    return S_OK;
}

namespace {

SAFEARRAY* CreateArray(VARTYPE vt, std::uint32_t dims, const SAFEARRAYBOUND* bounds, bool zeroed) {
    std::uint32_t size = ElementSize(vt);
    if (size == 0 || dims == 0 || !bounds) return nullptr;
    std::uint64_t total = 1;
    for (std::uint32_t d = 0; d < dims; ++d) {
        total *= bounds[d].cElements;
        if (total > (std::uint64_t{1} << 40)) return nullptr;
    }
    auto* array = new (std::nothrow) SAFEARRAY;
    if (!array) return nullptr;
    array->vt = vt;
    array->cbElements = size;
    try {
        array->bounds.assign(bounds, bounds + dims);
    } catch (const std::bad_alloc&) {
        delete array;
        return nullptr;
    }
    if (total > 0) {
        // 16-bit storage is allocated as such, so that it can be handed over as it is
        // (SafeArrayTakeData16).
        if (size == 2) {
            array->pvData = zeroed ? new (std::nothrow) std::uint16_t[total]() : new (std::nothrow) std::uint16_t[total];
        } else {
            array->pvData = zeroed ? std::calloc(total, size) : std::malloc(total * size);
        }
        if (!array->pvData) {
            delete array;
            return nullptr;
        }
    }
    ++g_liveArrays;
    return array;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, std::uint32_t dims, const SAFEARRAYBOUND* bounds) {
    return CreateArray(vt, dims, bounds, true);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lower, std::uint32_t count) {
    SAFEARRAYBOUND bound{count, lower};
    return CreateArray(vt, 1, &bound, true);
}

SAFEARRAY* SafeArrayCreateVectorToFill(VARTYPE vt, std::int32_t lower, std::uint32_t count) {
    SAFEARRAYBOUND bound{count, lower};
    return CreateArray(vt, 1, &bound, false);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    if (array->cbElements == 2) delete[] static_cast<std::uint16_t*>(array->pvData);
    else std::free(array->pvData);
    delete array;
    --g_liveArrays;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    if (array->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++array->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    if (array->cLocks == 0) return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt) return E_INVALIDARG;
    *vt = array->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, std::uint32_t dim, std::int32_t* lower) {
    if (!array || !lower) return E_INVALIDARG;
    if (dim == 0 || dim > array->bounds.size()) return DISP_E_BADINDEX;
    *lower = array->bounds[dim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, std::uint32_t dim, std::int32_t* upper) {
    if (!array || !upper) return E_INVALIDARG;
    if (dim == 0 || dim > array->bounds.size()) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->bounds[dim - 1];
    *upper = static_cast<std::int32_t>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

std::unique_ptr<std::uint16_t[]> SafeArrayTakeData16(SAFEARRAY* array) {
    if (!array || array->cbElements != 2 || array->cLocks > 0) return nullptr;
    std::unique_ptr<std::uint16_t[]> data(static_cast<std::uint16_t*>(array->pvData));
    array->pvData = nullptr;
    return data;
}

long SafeArrayLiveCount() { return g_liveArrays.load(); }

BSTR SysAllocStringLen(const char* text, std::uint32_t len) {
    auto* block = static_cast<char*>(std::malloc(sizeof(std::uint32_t) + len + 1));
    if (!block) return nullptr;
    std::memcpy(block, &len, sizeof len);
    char* chars = block + sizeof len;
    if (text && len) std::memcpy(chars, text, len);
    chars[len] = '\0';
    return chars;
}

void SysFreeString(BSTR text) {
    if (text) std::free(text - sizeof(std::uint32_t));
}

std::uint32_t SysStringLen(BSTR text) {
    if (!text) return 0;
    std::uint32_t len;
    std::memcpy(&len, text - sizeof len, sizeof len);
    return len;
}

}  // namespace qf
