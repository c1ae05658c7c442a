// The converter's "Keep converting new files", driven offscreen: the watch after the run
// goes look by look through a clock the test holds at each pause, and a camera in the test
// writes a data file frame by frame between the looks. Nothing here depends on timing: the
// test waits (with deadlines) only for the watch to reach the next pause.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "dialog/dialog_test_support.h"
#include "dialog/output_options_dlg.h"
#include "dialog/progress_strip.h"
#include "dialog/quillfen_dlg.h"
#include "dialog/run_worker.h"
#include "dialog/status_light.h"
#include "test/orx_bytes.h"

namespace qf {
namespace {

// Each pause moves the time on by its length and then holds the watch until the test lets
// it look again.
class HeldClock : public WatchClock {
public:
    WatchTime Now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    bool Pause(std::chrono::milliseconds pause, const std::function<bool()>& stopped, WatchWake*) override {
        std::unique_lock lock(mutex_);
        now_ += pause;
        ++pauses_;
        held_ = true;
        // A stop (Cancel, the window going) lets it go too.
        while (!released_ && !stopped()) changed_.wait_for(lock, std::chrono::milliseconds(10));
        released_ = held_ = false;
        return !stopped();
    }
    /// The pauses so far while the watch waits in one, else 0.
    int Held() {
        std::lock_guard lock(mutex_);
        return held_ ? pauses_ : 0;
    }
    std::chrono::milliseconds lastPause() {
        std::lock_guard lock(mutex_);
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
    }
    void Release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    WatchTime start_ = std::chrono::system_clock::now();
    WatchTime now_ = start_;
    int pauses_ = 0;
    bool held_ = false, released_ = false;
};

// A camera writing a 4 x 4 data file of `frames` frames: the header first, then a frame
// at each call.
class Camera {
public:
    Camera(const std::string& path, std::uint32_t frames) : path_(path), bytes_(test::OrxBytes(4, 4, frames, 0x40)) {
        Write(kHeader);
    }
    void WriteFrame() { Write(kFrame); }

private:
    static constexpr std::size_t kHeader = 32, kFrame = 32;
    void Write(std::size_t count) {
        std::ofstream file(test::FsPath(path_), std::ios::binary | std::ios::app);
        file.write(reinterpret_cast<const char*>(bytes_.data() + written_), static_cast<std::streamsize>(count));
        written_ += count;
    }
    std::string path_;
    std::vector<std::uint8_t> bytes_;
    std::size_t written_ = 0;
};

}  // namespace

class WatchDialogTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

    QString Strip(CQuillfenDlg& dlg) { return static_cast<ProgressStrip*>(dlg.Item(1001))->text(); }
    StatusLight::State Light(CQuillfenDlg& dlg) { return static_cast<StatusLight*>(dlg.Item(1003))->state(); }
    // Lets the watch look once more and waits until it pauses again.
    void Step(HeldClock& clock) {
        const int pauses = clock.Held();
        clock.Release();
        QTRY_COMPARE_WITH_TIMEOUT(clock.Held(), pauses + 1, 30000);
    }

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

    void keepsConvertingNewFilesUntilCancel() {
        QSettings().setValue(QStringLiteral("output/keepWatching"), true);
        QVERIFY(test::Synth(*dir, "a.orx", 2));
        HeldClock clock;  // before the window: the window's run goes first
        CQuillfenDlg dlg(&services);
        QVERIFY(dlg.outputChoices().keepWatching);
        QVERIFY(dlg.optionsLine()->text().contains(QStringLiteral("keeps converting")));
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
        dlg.worker().SetWatchClock(&clock);
        QSignalSpy pictures(&dlg.worker(), &RunWorker::frameShown);
        const QString folder = QFileInfo(services.folder).fileName();

        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        // The run is over and the watch waits: what the run converted counts, and is not
        // waited for again.
        QTRY_COMPARE_WITH_TIMEOUT(clock.Held(), 1, 30000);
        QTRY_COMPARE(Strip(dlg), QStringLiteral("watching %1: 1 converted").arg(folder));
        QVERIFY(dlg.running());
        QCOMPARE(Light(dlg), StatusLight::State::kRunning);
        QVERIFY(!dlg.Item(kIdChooseDirectory)->isEnabled());
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        const qsizetype runPictures = pictures.size();

        Camera camera(*dir / "scan13.orx", 3);
        camera.WriteFrame();
        Step(clock);
        QTRY_COMPARE(Strip(dlg), QStringLiteral("watching %1: 1 converted, scan13.orx being written (1 of 3 frames)").arg(folder));
        QCOMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->percent(), 33);
        camera.WriteFrame();
        camera.WriteFrame();
        Step(clock);
        // Complete, not settled: nothing yet, and the next look is when it will be.
        QTRY_COMPARE(Strip(dlg), QStringLiteral("watching %1: 1 converted, scan13.orx being written (3 of 3 frames)").arg(folder));
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        // Settled two seconds (the settle time) after the look that found it complete.
        const auto complete = clock.lastPause();
        Step(clock);
        QCOMPARE(test::Outputs(*dir).size(), 2u);
        Step(clock);
        QCOMPARE(clock.lastPause() - complete, std::chrono::milliseconds(2000));
        // Converted; the view showed its frames.
        QTRY_COMPARE(Strip(dlg), QStringLiteral("watching %1: 2 converted").arg(folder));
        QCOMPARE(test::Outputs(*dir),
                 (std::vector<std::string>{"a.tiff", "a1.tiff", "scan13.tiff", "scan131.tiff", "scan132.tiff"}));
        QTRY_VERIFY(pictures.size() > runPictures);
        QCOMPARE(Light(dlg), StatusLight::State::kRunning);

        // Cancel ends the watch as it ends a run: the light and the line say it stopped.
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdCancel)), Qt::LeftButton);
        QCOMPARE(Strip(dlg), QStringLiteral("Stopping after the current frame..."));
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(Light(dlg), StatusLight::State::kStopped);
        QVERIFY(Strip(dlg).startsWith(QStringLiteral("Stopped: 5 ")));
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(test::Outputs(*dir).size(), 5u);
        QCOMPARE(dlg.lastReport()->filesConverted, 2);
    }

    // Cancel while the watch converts a new file: the frame being written is finished, the
    // later ones are not written, and no temporary is left.
    void cancelWhileConvertingStopsInsideTheFile() {
        QSettings().setValue(QStringLiteral("output/keepWatching"), true);
        QVERIFY(test::Synth(*dir, "a.orx", 1));
        HeldClock clock;
        // Counted once the watch waits: b.orx's plan (its load and 3 steps), its load for the
        // conversion, frame 0, then the step to frame 1, where it holds.
        test::PauseGate gate(1 + 3 + 2);
        std::atomic<bool> armed{false};
        CQuillfenDlg dlg(&services);
        dlg.runSettings().jobs = 1;
        dlg.runSettings().pause = [&armed, hook = gate.Hook()](std::chrono::milliseconds pause) {
            if (armed.load()) hook(pause);
        };
        services.folder = QString::fromStdString(dir->path());
        dlg.worker().SetWatchClock(&clock);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(clock.Held(), 1, 30000);

        Camera camera(*dir / "b.orx", 3);
        for (int frame = 0; frame < 3; ++frame) camera.WriteFrame();
        const auto path = test::FsPath(*dir / "b.orx");
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
        armed.store(true);
        clock.Release();
        QTRY_VERIFY_WITH_TIMEOUT(gate.Held(), 30000);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdCancel)), Qt::LeftButton);
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(Light(dlg), StatusLight::State::kStopped);
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "b.tiff"}));
        QCOMPARE(dlg.lastReport()->stoppedIn, *dir / "b.orx");
        QCOMPARE(clock.Held(), 0);
    }

    // The panel's box turns it off, and that is remembered: the next run ends as it did.
    void withoutTheChoiceARunEnds() {
        QSettings().setValue(QStringLiteral("output/keepWatching"), true);
        QVERIFY(test::Synth(*dir, "a.orx", 1));
        CQuillfenDlg dlg(&services);
        services.onModal = [](QDialog& d) {
            auto* panel = qobject_cast<COutputOptionsDlg*>(&d);
            QVERIFY(panel && panel->keepWatchingBox()->isChecked());
            panel->keepWatchingBox()->setChecked(false);
        };
        dlg.OnOutputOptions();
        QVERIFY(!dlg.outputChoices().keepWatching);
        QCOMPARE(QSettings().value(QStringLiteral("output/keepWatching")).toBool(), false);
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        services.folder = QString::fromStdString(dir->path());
        HeldClock clock;
        dlg.worker().SetWatchClock(&clock);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(kIdChooseDirectory)), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(clock.Held(), 0);
        QCOMPARE(Light(dlg), StatusLight::State::kClean);
    }
};

}  // namespace qf

QTEST_MAIN(qf::WatchDialogTest)
#include "watch_dialog_test.moc"
