// Windows only: a file of ours may include <windows.h> first and then any header of the core
// (platform, control, export, convert), and the status codes the core reports are the
// system's own.
#include <windows.h>

#include "control/dispatch.h"
#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "control/orx_format.h"
#include "convert/batch_run.h"
#include "convert/frame_pull.h"
#include "convert/frame_selection.h"
#include "convert/output_namer.h"
#include "convert/output_naming.h"
#include "convert/run_options.h"
#include "convert/plan.h"
#include "convert/run_progress.h"
#include "convert/run_tally.h"
#include "convert/walk.h"
#include "export/bitmap_layout.h"
#include "export/export_kinds.h"
#include "export/export_options.h"
#include "export/false_color_bitmap.h"
#include "export/false_color_table.h"
#include "export/frame_image.h"
#include "export/grayscale_bitmap.h"
#include "export/tiff_export.h"
#include "export/tiff_handle.h"
#include "export/tiff_kind.h"
#include "export/tiff_layout.h"
#include "export/tiff_stack.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/file_io.h"
#include "platform/file_layer.h"
#include "platform/little_endian.h"
#include "platform/memory.h"
#include "platform/oleauto.h"
#include "platform/output_file.h"
#include "platform/result.h"
#include "platform/status_error.h"
#include "platform/version.h"

#include <gtest/gtest.h>

namespace {

// The core's files see no <windows.h>: what they name a code is the system's code.
TEST(WindowsHeadersTest, TheCoresStatusCodesAreTheSystems) {
    EXPECT_EQ(qf::DescribeStatus(E_FAIL), "E_FAIL (0x80004005)");
    EXPECT_EQ(qf::DescribeStatus(E_INVALIDARG), "E_INVALIDARG (0x80070057)");
    EXPECT_EQ(qf::DescribeStatus(E_OUTOFMEMORY), "E_OUTOFMEMORY (0x8007000E)");
    EXPECT_EQ(qf::DescribeStatus(E_POINTER), "E_POINTER (0x80004003)");
    EXPECT_EQ(qf::DescribeStatus(E_UNEXPECTED), "E_UNEXPECTED (0x8000FFFF)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_MEMBERNOTFOUND), "DISP_E_MEMBERNOTFOUND (0x80020003)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_TYPEMISMATCH), "DISP_E_TYPEMISMATCH (0x80020005)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_EXCEPTION), "DISP_E_EXCEPTION (0x80020009)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_BADINDEX), "DISP_E_BADINDEX (0x8002000B)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_ARRAYISLOCKED), "DISP_E_ARRAYISLOCKED (0x8002000D)");
    EXPECT_EQ(qf::DescribeStatus(DISP_E_BADPARAMCOUNT), "DISP_E_BADPARAMCOUNT (0x8002000E)");
}

TEST(WindowsHeadersTest, ArraysAndFailuresReadTheSameAfterTheSystemsHeader) {
    qf::SAFEARRAY* array = qf::SafeArrayCreateVector(qf::VT_I2, 0, 4);
    ASSERT_NE(array, nullptr);
    std::int32_t lower = -1;
    EXPECT_EQ(qf::SafeArrayGetLBound(array, 2, &lower), DISP_E_BADINDEX);
    EXPECT_TRUE(FAILED(qf::SafeArrayGetLBound(array, 2, &lower)));
    EXPECT_EQ(qf::SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(qf::SafeArrayDestroy(array), S_OK);
}

}  // namespace
