// What the window shows of a written frame: the view's pixels against the colour table
// and the samples, the profiles through the brightest sample. Frames come from real ORX
// files through the real control; the run goes through the dialog.
#include <QAbstractButton>
#include <QtTest>
#include <algorithm>
#include <atomic>

#include "control/getdata_ctrl.h"
#include "convert/frame_pull.h"
#include "dialog/dialog_template.h"
#include "dialog/dialog_test_support.h"
#include "dialog/frame_picture.h"
#include "dialog/frame_view.h"
#include "dialog/profile_view.h"
#include "dialog/quillfen_dlg.h"
#include "dialog/run_worker.h"
#include "export/false_color_table.h"

namespace qf {

class FramePictureTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempFolder> settingsDir;
    std::unique_ptr<test::TempFolder> dir;
    test::FakeServices services;

    // Converts the folder with `kind` and waits for the end of the run.
    void Run(CQuillfenDlg& dlg, int kind) {
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio + kind)), Qt::LeftButton);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
    }
    // The last frame of `name` as the control gives it for `kind`, read apart from the run.
    static FrameImage LastFrame(const std::string& path, ExportKind kind, int frames) {
        CGetdatactrl1 control;
        if (!control.LoadFile(path).ok()) return FrameImage{};
        for (int i = 1; i < frames; ++i) control.NextFrame();
        return PullFrame(control, kind);
    }
    // The frame's intensity at (x, y), y counted from the top as the outputs show it.
    static int At(const FrameImage& f, int x, int y) { return f.samples[(f.height - 1 - y) * f.width + x]; }

private slots:
    void initTestCase() {
        settingsDir = std::make_unique<test::TempFolder>();
        test::UseTestSettings(settingsDir->path());
    }
    void init() {
        dir = std::make_unique<test::TempFolder>();
        services = test::FakeServices();
    }

    void viewShowsTheLastFrameInTheColourTable() {
        QVERIFY(test::Synth(*dir, "a.orx", 3, 12, 8));
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* view = static_cast<FrameView*>(dlg.Item(1002));
        QVERIFY(view->image().isNull());
        Run(dlg, kFalseColorBitmap);
        const FrameImage frame = LastFrame(*dir / "a.orx", kFalseColorBitmap, 3);
        const QRect r = view->ImageRect();
        // The aspect is kept, to the pixel.
        QVERIFY(std::abs(r.width() * frame.height - r.height() * frame.width) <= std::max(frame.width, frame.height));
        QVERIFY(r.width() == view->contentsRect().width() || r.height() == view->contentsRect().height());
        const QImage shot = view->grab().toImage();
        int checked = 0;
        for (int y : {0, 3, 7}) {
            for (int x : {0, 5, 11}) {
                const QPoint p(r.x() + (2 * x + 1) * r.width() / (2 * frame.width),
                               r.y() + (2 * y + 1) * r.height() / (2 * frame.height));
                const FalseColorEntry& e = FalseColorTable()[At(frame, x, y) >> 2];
                QCOMPARE(QColor(shot.pixel(p)), QColor(e.red, e.green, e.blue));
                ++checked;
            }
        }
        QCOMPARE(checked, 9);
    }

    void normalizedFrameIsStretchedToItsBrightestSample() {
        BeamSettings s;
        s.width = 16;
        s.height = 12;
        s.frames = 1;
        s.bits = 12;  // the brightest sample near 4095: stretched, it shows near white
        QVERIFY(WriteSyntheticBeam(*dir / "dim.orx", s).ok());
        CQuillfenDlg dlg(&services);
        Run(dlg, kNormalizedTiff);
        const FrameImage frame = LastFrame(*dir / "dim.orx", kNormalizedTiff, 1);
        const QImage& image = static_cast<FrameView*>(dlg.Item(1002))->image();
        QCOMPARE(image.size(), QSize(16, 12));
        const int peak = *std::max_element(frame.samples.get(), frame.samples.get() + frame.count);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                QCOMPARE(qGray(image.pixel(x, y)), int(std::uint32_t(At(frame, x, y)) * 65535u / peak) >> 8);
            }
        }
    }

    void profilesPassThroughTheBrightestSample() {
        QVERIFY(test::Synth(*dir, "a.orx", 2, 40, 30));
        CQuillfenDlg dlg(&services);
        Run(dlg, kStandardizedTiff);
        const FrameImage frame = LastFrame(*dir / "a.orx", kStandardizedTiff, 2);
        const int peak = *std::max_element(frame.samples.get(), frame.samples.get() + frame.count);
        auto* across = static_cast<ProfileView*>(dlg.Item(1006));
        auto* down = static_cast<ProfileView*>(dlg.Item(1007));
        const int row = across->position(), column = down->position();
        QCOMPARE(At(frame, column, row), peak);
        QCOMPARE(int(across->values().size()), 40);
        QCOMPARE(int(down->values().size()), 30);
        for (int x = 0; x < 40; ++x) QCOMPARE(int(across->values()[x]), At(frame, x, row));
        for (int y = 0; y < 30; ++y) QCOMPARE(int(down->values()[y]), At(frame, column, y));
        QCOMPARE(across->Caption(), QString("Row %1").arg(row));
        QCOMPARE(down->Caption(), QString("Column %1").arg(column));
    }

    void grayscaleProfilesCarryTheHighByteOnTheSixteenBitRange() {
        FrameImage frame;
        frame.width = 3;
        frame.height = 2;
        frame.count = 6;
        frame.highBytes = std::make_unique<std::uint8_t[]>(6);
        const std::uint8_t bytes[6] = {1, 2, 3, 4, 255, 6};  // bottom row first
        std::copy(bytes, bytes + 6, frame.highBytes.get());
        const FramePicture picture = MakeFramePicture(frame, kGrayscaleBitmap);
        QCOMPARE(picture.brightest, QPoint(1, 0));
        QCOMPARE(int(picture.peak), 255 << 8);
        QCOMPARE(picture.row, (std::vector<std::uint16_t>{4 << 8, 255 << 8, 6 << 8}));
        QCOMPARE(picture.column, (std::vector<std::uint16_t>{255 << 8, 2 << 8}));
        QCOMPARE(qGray(picture.image.pixel(0, 1)), 1);
    }

    void largeFrameIsShownByEveryNthSample() {
        FrameImage frame;
        frame.width = 1200;  // three samples a pixel across
        frame.height = 10;
        frame.count = 12000;
        frame.samples = std::make_unique<std::uint16_t[]>(12000);
        for (int i = 0; i < 12000; ++i) frame.samples[i] = static_cast<std::uint16_t>((i * 37) % 65536);
        const FramePicture picture = MakeFramePicture(frame, kStandardizedTiff);
        QCOMPARE(picture.image.size(), QSize(400, 4));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 400; x += 57) {
                QCOMPARE(qGray(picture.image.pixel(x, y)), At(frame, 3 * x, 3 * y) >> 8);
            }
        }
        QCOMPARE(int(picture.row.size()), 1200);
        QCOMPARE(int(picture.column.size()), 10);
    }

    void emptyFrameGivesNoPicture() {
        FrameImage frame;
        QVERIFY(MakeFramePicture(frame, kFalseColorBitmap).image.isNull());
    }

    // QUILLFEN_SCREENSHOT=path saves the window while a run on the bundled samples is
    // held at a frame, and path with "-finished" once it is done, for the README.
    void screenshotsWhenAsked() {
        const QString path = QString::fromLocal8Bit(qgetenv("QUILLFEN_SCREENSHOT"));
        const QString samples = QString::fromLocal8Bit(qgetenv("QUILLFEN_SAMPLES"));
        if (path.isEmpty() || samples.isEmpty()) QSKIP("QUILLFEN_SCREENSHOT and QUILLFEN_SAMPLES not set");
        QDir().mkpath(QString::fromStdString(dir->path()));
        for (const QString& name : QDir(samples).entryList({"*.orx"}, QDir::Files)) {
            QVERIFY(QFile::copy(QDir(samples).filePath(name), QString::fromStdString(*dir / name.toStdString())));
        }
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdFirstRadio + 3)), Qt::LeftButton);
        // Held after the second frame of the second file (beam.orx has 8 frames), every
        // frame pictured.
        test::PauseGate gate(test::PlanningPauses(dir->path()) + 12);
        dlg.runSettings().jobs = 1;  // the gate counts the pauses of one walk over the frames
        dlg.runSettings().pause = gate.Hook();
        auto ticks = std::make_shared<std::atomic<int>>(0);
        const auto start = std::chrono::steady_clock::now();
        dlg.worker().SetClock([ticks, start] { return start + RunWorker::kPictureInterval * ticks->fetch_add(1); });
        services.folder = QString::fromStdString(dir->path());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(gate.Held(), 30000);
        QCoreApplication::processEvents();  // the pictures posted before the hold
        QVERIFY(dlg.grab().save(path));
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QVERIFY(dlg.grab().save(QString(path).replace(".png", "-finished.png")));
    }
};

}  // namespace qf

QTEST_MAIN(qf::FramePictureTest)
#include "frame_picture_test.moc"
