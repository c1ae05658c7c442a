// What the dialog's tests share: a desktop that never blocks, a gate in the run's pause
// that holds the run at a chosen step, and synthetic ORX files in a temporary folder.
#pragma once

#include <QDialog>
#include <QCoreApplication>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "control/orx_control.h"
#include "dialog/dialog_services.h"
#include "dialog/report_dlg.h"
#include "test/temp_folder.h"
#include "tools/synthetic_beam.h"

namespace qf::test {

struct FakeServices : DialogServices {
    QString folder;
    QStringList pickerStarts;
    QStringList warnings;
    QStringList modalTitles;
    QStringList reportLines;  ///< what the last report dialog listed
    QString saveAs;           ///< the file a save is given
    QStringList opened;
    int picks = 0;
    /// Plays the user of a modal dialog before it "closes" (e.g. fills a panel's fields).
    std::function<void(QDialog&)> onModal;
    int modalResult = QDialog::Accepted;
    QString PickFolder(QWidget*, const QString& start) override {
        ++picks;
        pickerStarts << start;
        return folder;
    }
    QString PickSaveFile(QWidget*, const QString&) override { return saveAs; }
    void ShowWarning(QWidget*, const QString&, const QString& text) override { warnings << text; }
    int RunModal(QDialog& dialog) override {
        modalTitles << dialog.windowTitle();
        if (onModal) onModal(dialog);
        if (auto* report = qobject_cast<CReportDlg*>(&dialog)) {
            reportLines.clear();
            for (int i = 0; i < report->list()->count(); ++i) reportLines << report->list()->item(i)->text();
        }
        return modalResult;
    }
    bool OpenFolder(const QString& path) override {
        opened << path;
        return true;
    }
    QStringList questions;  ///< every question asked, in order
    bool answer = false;    ///< the answer to each (false: No)
    bool AskYesNo(QWidget*, const QString&, const QString& text) override {
        questions << text;
        return answer;
    }
};

/// The run's pause, held at its `n`th call (from 1) until opened. Opens for good when
/// the gate goes, so that a failed test never leaves the run waiting.
class PauseGate {
public:
    explicit PauseGate(int n) : state_(std::make_shared<State>()) { state_->holdAt = n; }
    ~PauseGate() { Open(); }
    PauseGate(const PauseGate&) = delete;
    PauseGate& operator=(const PauseGate&) = delete;

    std::function<void(std::chrono::milliseconds)> Hook() const {
        return [s = state_](std::chrono::milliseconds) {
            std::unique_lock lock(s->mutex);
            if (++s->calls != s->holdAt) return;
            s->held = true;
            s->changed.wait(lock, [&] { return s->open; });
            s->held = false;
        };
    }
    /// True while the run waits at the gate.
    bool Held() const {
        std::lock_guard lock(state_->mutex);
        return state_->held;
    }
    void Open() {
        {
            std::lock_guard lock(state_->mutex);
            state_->open = true;
        }
        state_->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int calls = 0;
        int holdAt = 0;
        bool held = false;
        bool open = false;
    };
    std::shared_ptr<State> state_;
};

/// Settings go to `folder` as INI files of a test organisation, never to the user's.
/// The pauses a run takes while it plans `folder` (one after each load, one after each
/// step), before its first conversion pause: a gate counts from there.
inline int PlanningPauses(const std::string& folder) {
    int pauses = 0;
    for (const std::string& name : Entries(folder)) {
        OrxControl control;
        if (name.find(".orx") == std::string::npos || !control.LoadFile(folder + "/" + name).ok()) continue;
        pauses += 1 + static_cast<int>(control.header()->frameCount);
    }
    return pauses;
}

inline void UseTestSettings(const std::string& folder) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("QuillfenTest"));
    QCoreApplication::setApplicationName(QStringLiteral("QuillfenTest"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(folder));
    QSettings().clear();
}

/// What every dialog test program holds: settings in a folder of its own (never the
/// user's), and for each case a fresh temporary folder and a fresh desktop. A test class
/// derives from it and calls StartProgram() from initTestCase() and StartCase() from init().
struct DialogFixture {
    std::unique_ptr<TempFolder> settingsDir;
    std::unique_ptr<TempFolder> dir;
    FakeServices services;

    void StartProgram() {
        settingsDir = std::make_unique<TempFolder>();
        UseTestSettings(settingsDir->path());
    }
    void StartCase() {
        QSettings().clear();
        dir = std::make_unique<TempFolder>();
        services = FakeServices();
    }
};

/// Writes a synthetic beam of `frames` frames, `width` x `height`, as `dir/name`.
inline bool Synth(const TempFolder& dir, const std::string& name, std::uint32_t frames,
                  std::int16_t width = 8, std::int16_t height = 4) {
    BeamSettings s;
    s.width = width;
    s.height = height;
    s.frames = frames;
    return WriteSyntheticBeam(dir / name, s).ok();
}

/// The names in `dir` that are not data files.
inline std::vector<std::string> Outputs(const TempFolder& dir) {
    std::vector<std::string> out;
    for (const auto& n : Entries(dir.path())) {
        if (!n.ends_with(".orx")) out.push_back(n);
    }
    return out;
}

}  // namespace qf::test
