#include "platform/oleauto.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(SafeArrayTest, BoundsAndTypeOfVector) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_I2, -3, 10);
    ASSERT_NE(a, nullptr);
    std::int32_t lb = 0, ub = 0;
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &lb), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &ub), S_OK);
    EXPECT_EQ(lb, -3);
    EXPECT_EQ(ub, 6);
    EXPECT_EQ(SafeArrayGetLBound(a, 2, &lb), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_I2);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(SafeArrayTest, LockedArrayRefusesDestroyAndVariantClear) {
    long before = SafeArrayLiveCount();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I2;
    v.parray = SafeArrayCreateVector(VT_I2, 0, 4);
    EXPECT_EQ(SafeArrayLiveCount(), before + 1);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(SafeArrayDestroy(v.parray), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I2);
    EXPECT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(SafeArrayUnlock(v.parray), E_UNEXPECTED);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(SafeArrayLiveCount(), before);
}

TEST(SafeArrayTest, SixteenBitStorageIsHandedOverOnceAndTheArrayStillDestroyed) {
    const long before = SafeArrayLiveCount();
    SAFEARRAY* a = SafeArrayCreateVector(VT_I2, 0, 5);
    ASSERT_NE(a, nullptr);
    auto* data = static_cast<std::uint16_t*>(a->pvData);
    EXPECT_EQ(data[4], 0);  // elements start zeroed
    data[4] = 0xBEEF;
    ASSERT_EQ(SafeArrayLock(a), S_OK);
    EXPECT_EQ(SafeArrayTakeData16(a), nullptr);  // not while locked
    ASSERT_EQ(SafeArrayUnlock(a), S_OK);
    std::unique_ptr<std::uint16_t[]> taken = SafeArrayTakeData16(a);
    EXPECT_EQ(taken.get(), data);
    EXPECT_EQ(taken[4], 0xBEEF);
    EXPECT_EQ(a->pvData, nullptr);
    EXPECT_EQ(SafeArrayTakeData16(a), nullptr);  // once only
    EXPECT_EQ(SafeArrayLiveCount(), before + 1);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
    EXPECT_EQ(SafeArrayLiveCount(), before);

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    EXPECT_EQ(SafeArrayTakeData16(bytes), nullptr);
    EXPECT_EQ(SafeArrayDestroy(bytes), S_OK);
}

TEST(SafeArrayTest, ArrayToFillHasTheBoundsAndIsReleasedLikeAnyOther) {
    const long before = SafeArrayLiveCount();
    SAFEARRAY* a = SafeArrayCreateVectorToFill(VT_I2, 0, 6);
    ASSERT_NE(a, nullptr);
    std::int32_t ub = 0;
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &ub), S_OK);
    EXPECT_EQ(ub, 5);
    EXPECT_EQ(a->cbElements, 2u);
    EXPECT_EQ(SafeArrayLiveCount(), before + 1);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
    EXPECT_EQ(SafeArrayLiveCount(), before);
}

TEST(SafeArrayTest, NullAndUnknownTypes) {
    std::int32_t lb;
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &lb), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
}

TEST(BstrTest, KeepsLengthAndEmbeddedBytes) {
    const char text[] = {'a', '\0', '\xff'};
    BSTR s = SysAllocStringLen(text, 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(s[2], '\xff');
    EXPECT_EQ(s[3], '\0');
    SysFreeString(s);
}

}  // namespace
}  // namespace qf
