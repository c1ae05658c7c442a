// The dialog during a run: the run is on its worker, held at a chosen pause by a gate so
// that each case is deterministic. Real control, real ORX files.
#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <cmath>

#include "dialog/dialog_test_support.h"
#include "dialog/progress_strip.h"
#include "dialog/quillfen_dlg.h"
#include "dialog/run_worker.h"
#include "dialog/status_light.h"

namespace qf {

using test::FakeServices;
using test::PauseGate;

class RunWorkerTest : public QObject, protected test::DialogFixture {
    Q_OBJECT

private:

    void Synth(const std::string& name, std::uint32_t frames) { QVERIFY(test::Synth(*dir, name, frames)); }
    void Click(CQuillfenDlg& dlg, int id) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(dlg.Item(id)), Qt::LeftButton);
    }
    // Starts a run whose pause is `gate`, and waits until the run is held there.
    void StartHeld(CQuillfenDlg& dlg, const PauseGate& gate) {
        // The gate counts the pauses of one walk over the frames: one job.
        dlg.runSettings().jobs = 1;
        dlg.runSettings().pause = gate.Hook();
        services.folder = QString::fromStdString(dir->path());
        Click(dlg, kIdChooseDirectory);
        QVERIFY(dlg.running());
        QTRY_VERIFY_WITH_TIMEOUT(gate.Held(), 30000);
    }
    // The first frame of `name` as an undisturbed run writes it, in a folder of its own.
    std::vector<std::uint8_t> WholeFirstFrame(const std::string& name) {
        test::TempFolder other;
        test::WriteBytes(other / name, test::ReadBytes(*dir / name));
        CGetdatactrl1 control;
        BatchSettings settings;
        settings.pause = [](std::chrono::milliseconds) {};
        BatchObserver quiet;
        RunBatch(control, other.path(), [] { return 0; }, settings, quiet);
        return test::ReadBytes(other / (name.substr(0, name.size() - 4) + ".tiff"));
    }
    bool NoTemporaries() {
        for (const auto& name : test::Entries(dir->path())) {
            if (name.ends_with(".part")) return false;
        }
        return true;
    }

private slots:
    void initTestCase() { StartProgram(); }
    void init() { StartCase(); }

    // Pauses: 1 after a.orx loads, 2 after its frame 0, 3 after its frame 1, ...
    void cancelMidRunStopsWithinOneFrameAndTheDialogStays() {
        Synth("a.orx", 3);
        Synth("b.orx", 3);
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        PauseGate gate(test::PlanningPauses(dir->path()) + 2);
        StartHeld(dlg, gate);
        Click(dlg, kIdCancel);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.worker().stopRequested());
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(test::Outputs(*dir), std::vector<std::string>{"a.tiff"});
        QCOMPARE(test::ReadBytes(*dir / "a.tiff"), WholeFirstFrame("a.orx"));
        QVERIFY(NoTemporaries());
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.lastReport()->stop, BatchStop::kInterrupted);
        QCOMPARE(dlg.lastReport()->framesWritten, 1L);
        QCOMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->text(), QString("Stopped: 1 of 6 frames written"));
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kStopped);
        QCOMPARE(services.warnings.size(), 1);
        QVERIFY(services.warnings[0].startsWith("The conversion was stopped."));
        // The box names what the stop left: the rest of a.orx, and b.orx untouched.
        QVERIFY2(services.warnings[0].contains("Not all frames of " + QString::fromStdString(*dir / "a.orx") +
                                               " were written."),
                 qPrintable(services.warnings[0]));
        QVERIFY2(services.warnings[0].contains("1 data file was not converted because the run stopped:\n" +
                                               QString::fromStdString(*dir / "b.orx")),
                 qPrintable(services.warnings[0]));
        QVERIFY(services.warnings[0].endsWith("1 of 6 frames written; 0 files complete, 1 partial, 0 failed."));
        // After the run Cancel closes the dialog as before.
        Click(dlg, kIdCancel);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    // The plan reads every header on the run's thread: the window stays live, says how far
    // it got, and Cancel ends the run before anything is written.
    void planningIsOffTheWindowsThreadSaysHowFarItGotAndCancelEndsIt() {
        Synth("a.orx", 2);
        Synth("b.orx", 2);
        Synth("c.orx", 2);
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        PauseGate gate(test::PlanningPauses(dir->path()));  // inside c.orx's header
        StartHeld(dlg, gate);
        auto* strip = static_cast<ProgressStrip*>(dlg.Item(1001));
        QTRY_COMPARE_WITH_TIMEOUT(strip->text(), QString("Planning: 2 data files found"), 5000);
        Click(dlg, kIdCancel);
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(test::Outputs(*dir), std::vector<std::string>{});
        QCOMPARE(dlg.lastReport()->stop, BatchStop::kInterrupted);
        QCOMPARE(dlg.lastReport()->notConverted.size(), std::size_t{3});
    }

    void escapeDuringARunStopsItAndTheDialogStays() {
        Synth("a.orx", 3);
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        PauseGate gate(test::PlanningPauses(dir->path()) + 3);
        StartHeld(dlg, gate);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.worker().stopRequested());
        QVERIFY(dlg.isVisible());
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        QVERIFY(dlg.isVisible());
    }

    // One small frame done of a small and a large file: 3 of 4 frames, a fortieth of the pixels.
    void barAndTimeLeftCountPixelsNotFiles() {
        QVERIFY(test::Synth(*dir, "a.orx", 3, 8, 4));   // 3 x 32 pixels
        QVERIFY(test::Synth(*dir, "b.orx", 1, 64, 60));  // 3840 pixels
        CQuillfenDlg dlg(&services);
        PauseGate gate(test::PlanningPauses(dir->path()) + 4);  // after a.orx's last frame
        StartHeld(dlg, gate);
        const double done = dlg.worker().snapshot().progress.Fraction();
        QVERIFY2(std::abs(done - 96.0 / (96 + 3840)) < 1e-9, qPrintable(QString::number(done)));
        QTRY_COMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->percent(), 2);
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(dlg.worker().snapshot().progress.Fraction(), 1.0);
        QCOMPARE(static_cast<ProgressStrip*>(dlg.Item(1001))->percent(), 100);
    }

    void whileRunningTheButtonsAreDisabledAndTheWaitCursorShows() {
        Synth("a.orx", 2);
        CQuillfenDlg dlg(&services);
        PauseGate gate(test::PlanningPauses(dir->path()) + 2);
        StartHeld(dlg, gate);
        QVERIFY(!dlg.Item(kIdOk)->isEnabled());
        QVERIFY(!dlg.Item(kIdChooseDirectory)->isEnabled());
        QVERIFY(dlg.Item(kIdCancel)->isEnabled());
        QCOMPARE(dlg.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(static_cast<StatusLight*>(dlg.Item(1003))->state(), StatusLight::State::kRunning);
        QTRY_VERIFY(static_cast<ProgressStrip*>(dlg.Item(1001))->text().startsWith("File 1 of 1: a.orx, frame 1"));
        // Enter on OK does nothing while the run goes.
        static_cast<QDialog&>(dlg).accept();
        QVERIFY(dlg.running());
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QVERIFY(dlg.Item(kIdOk)->isEnabled());
        QVERIFY(dlg.Item(kIdChooseDirectory)->isEnabled());
        QCOMPARE(dlg.cursor().shape(), Qt::ArrowCursor);
    }

    void radioChangeMidRunAppliesToTheNextFileNotTheCurrent() {
        Synth("a.orx", 2);
        Synth("b.orx", 2);
        CQuillfenDlg dlg(&services);
        QSignalSpy asked(&dlg.worker(), &RunWorker::kindAsked);
        PauseGate gate(test::PlanningPauses(dir->path()) + 2);
        StartHeld(dlg, gate);
        Click(dlg, kIdFirstRadio + 2);
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "a1.tiff", "b.bmp", "b1.bmp"}));
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0][0].toInt(), 0);
        QCOMPARE(asked[1][0].toInt(), 2);
        QCOMPARE(dlg.exportKind(), 2);
    }

    void closingDuringARunStopsItThenCloses() {
        Synth("a.orx", 4);
        CQuillfenDlg dlg(&services);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        PauseGate gate(test::PlanningPauses(dir->path()) + 3);
        StartHeld(dlg, gate);
        QVERIFY(!dlg.close());  // the run stops first
        QVERIFY(dlg.isVisible());
        gate.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 30000);
        QVERIFY(!dlg.running());
        QCOMPARE(test::Outputs(*dir), (std::vector<std::string>{"a.tiff", "a1.tiff"}));
        QVERIFY(NoTemporaries());
        QVERIFY(services.warnings.isEmpty());
    }

    void destroyingTheDialogDuringARunWaitsForIt() {
        Synth("a.orx", 4);
        PauseGate gate(test::PlanningPauses(dir->path()) + 2);
        {
            CQuillfenDlg dlg(&services);
            StartHeld(dlg, gate);
            Click(dlg, kIdCancel);
            gate.Open();  // the dialog goes while the run may still be writing
        }
        QVERIFY(NoTemporaries());
        QCOMPARE(test::Outputs(*dir), std::vector<std::string>{"a.tiff"});
    }

    // Connected directly, a handler runs where the worker emits: on the window's thread,
    // in the order the run went, the end once and last.
    void eventsArriveOnTheWindowsThreadInTheRunsOrder() {
        Synth("a.orx", 3);
        Synth("b.orx", 2);
        CQuillfenDlg dlg(&services);
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        QStringList seen;
        bool elsewhere = false;
        auto note = [&](const QString& what) {
            elsewhere |= QThread::currentThread() != dlg.thread();
            seen << what;
        };
        RunWorker* w = &dlg.worker();
        connect(w, &RunWorker::fileStarted, &dlg, [&](const QString&, int index, int) { note(QString("file %1").arg(index)); },
                Qt::DirectConnection);
        connect(w, &RunWorker::frameShown, &dlg, [&](const FramePicture&, int, long run) { note(QString("frame %1").arg(run)); },
                Qt::DirectConnection);
        connect(w, &RunWorker::finished, &dlg, [&](const BatchReport&) { note("end"); }, Qt::DirectConnection);
        services.folder = QString::fromStdString(dir->path());
        Click(dlg, kIdChooseDirectory);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QVERIFY(!elsewhere);
        QCOMPARE(seen.first(), QString("file 1"));
        QVERIFY(seen.indexOf("file 2") > seen.indexOf("file 1"));
        QCOMPARE(seen.count("end"), 1);
        QCOMPARE(seen.last(), QString("end"));
        QCOMPARE(seen[seen.size() - 2], QString("frame 5"));  // the run's last frame is pictured
    }

    // The clock never moves: only the first frame and the run's last are pictured.
    void picturesAreLimitedAndTheLastFrameIsAlwaysShown() {
        Synth("a.orx", 5);
        CQuillfenDlg dlg(&services);
        dlg.runSettings().pause = [](std::chrono::milliseconds) {};
        const auto fixed = std::chrono::steady_clock::now();
        dlg.worker().SetClock([fixed] { return fixed; });
        QSignalSpy shown(&dlg.worker(), &RunWorker::frameShown);
        services.folder = QString::fromStdString(dir->path());
        Click(dlg, kIdChooseDirectory);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.running(), 30000);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0][2].toLongLong(), 1LL);
        QCOMPARE(shown[1][1].toInt(), 5);
        QCOMPARE(shown[1][2].toLongLong(), 5LL);
    }
};

}  // namespace qf

QTEST_MAIN(qf::RunWorkerTest)
#include "run_worker_test.moc"
