#include "export/export_kinds.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "export/image_output.h"
#include "test/frames.h"
#include "test/temp_folder.h"

namespace qf {
namespace {

class ExportKindsTest : public test::TempFolderTest {};

// Every kind the radio group offers has a writer, a name and the extension of its files,
// and each writer writes the file its kind promises.
TEST_F(ExportKindsTest, EveryKindHasAWriterThatWritesItsFormat) {
    std::set<std::string> names;
    for (int k = 0; k < 4; ++k) {
        const ExportKindInfo* kind = FindExportKind(k);
        ASSERT_NE(kind, nullptr) << k;
        EXPECT_EQ(kind->kind, k);
        names.insert(kind->name);
        FrameImage frame = kind->highBytes ? test::GrayFrame(2, 1, {1, 2}) : test::SampleFrame(2, 1, {1, 2});
        const std::string path = dir / (std::string("out") + std::to_string(k) + kind->extension);
        ASSERT_TRUE(kind->write(path, frame, ExportOptions{}).ok()) << kind->name;
        const auto bytes = test::ReadBytes(path);
        ASSERT_GE(bytes.size(), 4u);
        if (kind->tiff) {
            EXPECT_EQ(std::string(kind->extension), ".tiff");
            EXPECT_TRUE((bytes[0] == 'I' && bytes[1] == 'I') || (bytes[0] == 'M' && bytes[1] == 'M')) << kind->name;
        } else {
            EXPECT_EQ(std::string(kind->extension), ".bmp");
            EXPECT_EQ(bytes[0], 'B');
            EXPECT_EQ(bytes[28], kind->highBytes ? 8 : 24) << kind->name;  // bits per pixel
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"normalized-tiff", "standardized-tiff", "grayscale-bmp", "color-bmp"}));
    EXPECT_EQ(FindExportKind(-1), nullptr);
    EXPECT_EQ(FindExportKind(4), nullptr);
}

// Whatever the kind, an output is opened, given its pages and finished: a file per frame
// is the writer's file, and an output that got fewer pages than it was opened for is a
// failure that leaves nothing in place, never a success.
TEST_F(ExportKindsTest, EveryKindsOutputIsTheWritersFileAndAnOutputShortOfPagesIsNoFile) {
    for (const ExportKindInfo& kind : ExportKinds()) {
        for (const bool stack : {false, true}) {
            SCOPED_TRACE(std::string(kind.name) + (stack ? " --stack" : ""));
            ExportOptions options;
            options.stack = stack;
            const FrameImage frame = kind.highBytes ? test::GrayFrame(2, 1, {1, 2}) : test::SampleFrame(2, 1, {1, 2});
            const std::string byWriter = dir / "writer.out", byOutput = dir / "output.out", empty = dir / "empty.out";
            std::unique_ptr<ImageOutput> output = OpenImageOutput(byOutput, kind, 1, options);
            ASSERT_TRUE(output->AddPage(frame).ok());
            ASSERT_TRUE(output->Finish().ok());
            if (!stack || !kind.tiff) {  // a stack of one page is the stack writer's, with its description
                ASSERT_TRUE(kind.write(byWriter, frame, options).ok());
                EXPECT_EQ(test::ReadBytes(byOutput), test::ReadBytes(byWriter));
            }
            EXPECT_FALSE(OpenImageOutput(empty, kind, 1, options)->Finish().ok());
            EXPECT_FALSE(test::FileExists(empty));
            output = OpenImageOutput(dir / "two.out", kind, 1, options);
            ASSERT_TRUE(output->AddPage(frame).ok());
            EXPECT_FALSE(output->AddPage(frame).ok());
            EXPECT_FALSE(output->Finish().ok());
        }
    }
}

}  // namespace
}  // namespace qf
