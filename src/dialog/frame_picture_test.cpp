// What the window shows of a written frame: the view's pixels against the colour table
// and the samples, the profiles through the brightest sample. Frames come from real ORX
// files through the real control; the run goes through the dialog.
#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>
#include <algorithm>
#include <atomic>

#include "control/getdata_ctrl.h"
#include "convert/frame_pull.h"
#include "dialog/dialog_test_support.h"
#include "dialog/frame_picture.h"
#include "dialog/frame_view.h"
#include "dialog/output_options_dlg.h"
#include "dialog/profile_view.h"
#include "dialog/quillfen_dlg.h"
#include "dialog/run_worker.h"
#include "export/false_color_table.h"

namespace qf {

class FramePictureTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

private:

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
    // Shows the window and converts the folder with `kind` in it.
    void ShowAndRun(CQuillfenDlg& dlg, int kind) {
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Run(dlg, kind);
    }
    static FrameView* View(CQuillfenDlg& dlg) { return static_cast<FrameView*>(dlg.Item(1002)); }
    // The pointer moves to `p` of the view's viewport (no button held).
    static void Hover(FrameView* view, QPointF p) {
        QMouseEvent move(QEvent::MouseMove, p, view->viewport()->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    }
    // The centre of frame pixel (x, y) in the viewport, from where the view draws the frame.
    static QPointF PixelCentre(FrameView* view, int x, int y, int frameWidth, int frameHeight) {
        const QRect r = view->ImageRect();
        const QPointF inView(r.x() + (x + 0.5) * r.width() / frameWidth, r.y() + (y + 0.5) * r.height() / frameHeight);
        return inView - QPointF(view->viewport()->mapTo(view, QPoint(0, 0)));
    }

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

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
        QVERIFY(r.width() == view->viewport()->width() || r.height() == view->viewport()->height());
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

    // With input bits 12 the standardized TIFF keeps 0 to 4095: its picture shows 4095 as
    // white (not the high byte, near black) and its profiles run to 4095.
    void standardizedFrameOfTwelveInputBitsIsShownOnItsOwnRange() {
        BeamSettings s;
        s.width = 16;
        s.height = 12;
        s.frames = 1;
        s.bits = 12;
        QVERIFY(WriteSyntheticBeam(*dir / "dim.orx", s).ok());
        OutputChoices twelve;
        twelve.inputBits = 12;
        QSettings settings;
        twelve.Save(settings);
        settings.sync();
        CQuillfenDlg dlg(&services);
        Run(dlg, kStandardizedTiff);
        const FrameImage frame = LastFrame(*dir / "dim.orx", kStandardizedTiff, 1);
        const QImage& image = View(dlg)->image();
        QCOMPARE(image.size(), QSize(16, 12));
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) QCOMPARE(qGray(image.pixel(x, y)), std::min(At(frame, x, y), 4095) >> 4);
        }
        auto* across = static_cast<ProfileView*>(dlg.Item(1006));
        QCOMPARE(across->axisTop(), 4095u);
        const int peak = *std::max_element(frame.samples.get(), frame.samples.get() + frame.count);
        QVERIFY2(peak > 2048, "the beam's peak is near the top of 12 bits");
        QVERIFY(*std::max_element(across->plotted().begin(), across->plotted().end()) > 2048);
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

    void readoutTellsThePixelUnderThePointerAndEmptiesOffTheFrame() {
        QVERIFY(test::Synth(*dir, "a.orx", 1, 12, 8));
        CQuillfenDlg dlg(&services);
        ShowAndRun(dlg, kStandardizedTiff);
        FrameView* view = View(dlg);
        const FrameImage frame = LastFrame(*dir / "a.orx", kStandardizedTiff, 1);
        for (auto [x, y] : {std::pair{0, 0}, std::pair{5, 3}, std::pair{11, 7}}) {
            Hover(view, PixelCentre(view, x, y, 12, 8));
            QCOMPARE(view->readout(), QString("x %1, y %2: %3").arg(x).arg(y).arg(At(frame, x, y)));
        }
        // 12 x 8 fitted to a taller view leaves a band above the frame: nothing there.
        QVERIFY(view->ImageRect().top() > view->viewport()->mapTo(view, QPoint(0, 0)).y() + 1);
        Hover(view, QPointF(view->viewport()->width() / 2.0, 0.5));
        QCOMPARE(view->readout(), QString());
        Hover(view, PixelCentre(view, 5, 3, 12, 8));
        QVERIFY(!view->readout().isEmpty());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view->viewport(), &leave);
        QCOMPARE(view->readout(), QString());
    }

    void readoutOfTheColourKindTellsTheColourShown() {
        QVERIFY(test::Synth(*dir, "a.orx", 1, 12, 8));
        CQuillfenDlg dlg(&services);
        ShowAndRun(dlg, kFalseColorBitmap);
        FrameView* view = View(dlg);
        const FrameImage frame = LastFrame(*dir / "a.orx", kFalseColorBitmap, 1);
        Hover(view, PixelCentre(view, 6, 4, 12, 8));
        const FalseColorEntry& e = FalseColorTable()[At(frame, 6, 4) >> 2];
        QCOMPARE(view->readout(), QString("x 6, y 4: RGB %1, %2, %3").arg(e.red).arg(e.green).arg(e.blue));
    }

    void wheelZoomsAboutThePointerAndTheKeysShowOneToOneOrFit() {
        QVERIFY(test::Synth(*dir, "a.orx", 1, 400, 300));
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        auto* view = static_cast<FrameView*>(dlg.Item(1002));
        Run(dlg, kStandardizedTiff);
        QVERIFY(view->zoom().fitting());
        const double fitted = view->zoom().scale();
        QVERIFY(fitted < 1);
        // The fitted frame fills the view's width or height.
        const QSize room = view->viewport()->size();
        QVERIFY(view->ImageRect().width() == room.width() || view->ImageRect().height() == room.height());
        QTest::keyClick(&dlg, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(view->zoom().scale(), 1.0);
        QCOMPARE(view->ImageRect().size(), QSize(400, 300));
        // 1:1 the frame is larger than the view both ways: it scrolls, and the wheel zooms
        // about the pointer, keeping the pixel under it.
        const QPointF at(view->viewport()->width() * 0.3, view->viewport()->height() * 0.7);
        Hover(view, at);
        const QString before = view->readout();
        QVERIFY(before.startsWith("x "));
        for (int i = 0; i < 2; ++i) {
            QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
        }
        QCOMPARE(view->zoom().scale(), 2.0);
        QCOMPARE(view->readout(), before);
        QTest::keyClick(&dlg, Qt::Key_0, Qt::ControlModifier);
        QVERIFY(view->zoom().fitting());
        QCOMPARE(view->zoom().scale(), fitted);
        QTest::keyClick(&dlg, Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(view->zoom().scale() < fitted);
        QTest::keyClick(&dlg, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view->zoom().scale(), 2.0 / 3);
    }

    void zoomedInEachSampleIsASharpBlock() {
        QVERIFY(test::Synth(*dir, "a.orx", 1, 12, 8));
        CQuillfenDlg dlg(&services);
        ShowAndRun(dlg, kStandardizedTiff);
        FrameView* view = View(dlg);
        const FrameImage frame = LastFrame(*dir / "a.orx", kStandardizedTiff, 1);
        view->ActualSize();
        while (view->zoom().scale() < 16) view->ZoomIn();
        QCOMPARE(view->zoom().scale(), 16.0);
        const QImage shot = view->grab().toImage();
        const QRect r = view->ImageRect();
        // Every screen pixel of a visible sample's block has the sample's gray, edges too.
        int checked = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 12; ++x) {
                const QRect block(r.x() + x * 16, r.y() + y * 16, 16, 16);
                const QRect visible(view->viewport()->mapTo(view, QPoint(0, 0)), view->viewport()->size());
                if (!visible.contains(block)) continue;  // scrolled out of the view
                for (QPoint p : {block.topLeft(), block.bottomRight(), block.center()}) {
                    QCOMPARE(qGray(shot.pixel(p)), At(frame, x, y) >> 8);
                }
                ++checked;
            }
        }
        QVERIFY(checked > 0);
    }

    // QUILLFEN_SCREENSHOT=path saves the window while a run on the data files in
    // QUILLFEN_SAMPLES is held at a frame, and path with "-finished" once it is done,
    // enlarged, the frame zoomed in about its brightest sample and the pointer on it, for
    // the README. QUILLFEN_INPUT_BITS sets the output options' input bits.
    void screenshotsWhenAsked() {
        const QString path = QString::fromLocal8Bit(qgetenv("QUILLFEN_SCREENSHOT"));
        const QString samples = QString::fromLocal8Bit(qgetenv("QUILLFEN_SAMPLES"));
        if (path.isEmpty() || samples.isEmpty()) QSKIP("QUILLFEN_SCREENSHOT and QUILLFEN_SAMPLES not set");
        if (const int bits = qEnvironmentVariableIntValue("QUILLFEN_INPUT_BITS"); bits > 0) {
            OutputChoices choices;
            choices.inputBits = bits;
            QSettings settings;
            choices.Save(settings);
        }
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
        FrameView* view = View(dlg);
        const int narrow = view->width();
        dlg.resize(dlg.size() + QSize(270, 150));
        QTRY_COMPARE(view->width(), narrow + 270);
        auto* row = static_cast<ProfileView*>(dlg.Item(1006));
        auto* column = static_cast<ProfileView*>(dlg.Item(1007));
        const QPointF brightest = PixelCentre(view, column->position(), row->position(),
                                              static_cast<int>(row->values().size()),
                                              static_cast<int>(column->values().size()));
        for (int i = 0; i < 3; ++i) {
            QWheelEvent wheel(brightest, view->viewport()->mapToGlobal(brightest), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
        }
        Hover(view, brightest);
        QCoreApplication::processEvents();  // the scroll bars show a queued event after the zoom
        QVERIFY(dlg.grab().save(QString(path).replace(".png", "-finished.png")));
    }
};

}  // namespace qf

QTEST_MAIN(qf::FramePictureTest)
#include "frame_picture_test.moc"
