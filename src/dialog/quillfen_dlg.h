// CQuillfenDlg: the converter. Four radio buttons choose the output kind, "Choose
// Directory" converts a whole folder. The conversion itself is the core's batch run, on
// a worker thread; the dialog maps its widgets to the run's inputs and the run's events
// to the hosted items: progress (1001), the frame (1002), a status light (1003), "Open
// Folder" (1004), "Show Report" (1005) and the two profiles (1006, 1007).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "control/getdata_ctrl.h"
#include "convert/batch_run.h"
#include "dialog/output_options_dlg.h"
#include "dialog/run_texts.h"
#include "present/run_watch.h"

namespace qf { class SalvageLog; }

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qf {

/// The items' ids, as the Windows dialog's resources number them too.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAcquisition = 1000;
inline constexpr int kIdFirstRadio = 1024;  ///< the four kinds follow, in ExportKind order
inline constexpr int kIdChooseDirectory = 1028;

class DialogServices;
class FrameView;
class HostedButton;
class ProfileView;
class ProgressStrip;
class RunWorker;
class StatusLight;
struct FramePicture;

class CQuillfenDlg : public QDialog {
    Q_OBJECT
public:
    /// `services` (not owned) stands for the desktop; null uses the real one.
    explicit CQuillfenDlg(DialogServices* services = nullptr, QWidget* parent = nullptr);
    /// Stops a run that still goes and waits for it.
    ~CQuillfenDlg() override;
    Q_DISABLE_COPY_MOVE(CQuillfenDlg)

    /// Data exchange: `save` stores the selected radio button's index in m_exportKind,
    /// otherwise the button of index m_exportKind is selected.
    void UpdateData(bool save);
    /// The "Choose Directory" click: pick a folder and start converting it.
    void OnBnClickedChooseDirectory();
    /// The About command (context menu, F1): runs the About box modally.
    void OnAbout();
    /// "Open Folder": the folder of the last run in the desktop's file manager.
    void OnOpenFolder();
    /// "Show Report": every line of the last run's report.
    void OnShowReport();
    /// "Output options...": the panel, modally; accepted choices are remembered and
    /// apply from the next run on.
    void OnOutputOptions();
    const OutputChoices& outputChoices() const { return m_outputChoices; }
    /// The line of the main window that shows the output options in effect.
    QLabel* optionsLine() const { return m_optionsLine; }

    /// The item of id `id` (for -1, the radio buttons' group box), or null.
    QWidget* Item(int id) const;
    /// Settings of the runs (one job for each core); tests inject the pause.
    BatchSettings& runSettings() { return m_runSettings; }
    RunWorker& worker() { return *m_worker; }
    bool running() const;
    /// The report of the last run that ended, if any.
    const std::optional<BatchReport>& lastReport() const { return m_lastReport; }

    /// The kind the run took for the last data file it loaded (updated when it asks).
    int exportKind() const { return m_exportKind; }

signals:
    /// A run ended and the window shows how.
    void runFinished();

protected:
    void accept() override;
    /// During a run: asks it to stop after the current frame; the dialog stays.
    void reject() override;
    /// During a run: stops it, then closes.
    void closeEvent(QCloseEvent* event) override;

private:
    int m_exportKind = 0;  ///< see exportKind(); the radio group's data exchange reads and writes it
    void CreateItems();
    QPushButton* AddButton(int id, const QString& text, QWidget* parent);
    /// Files `widget` under item id `id` (see Item).
    void Keep(int id, QWidget* widget);
    /// The window's layouts; `group` is the radio buttons' box.
    void LayOut(QGroupBox* group);
    void OnInitDialog();
    void ConnectWorker();
    void StartRun(const QString& folder);
    /// The run's plan loses outputs to names: offers what removes the clash (mirroring the
    /// subfolders, or a name pattern). Taken, the run ends unconverted and starts again
    /// under the new names; declined, it carries on as planned.
    void OfferPattern(const NameClashes& clashes);
    /// The line under the radio group: the output options in effect.
    void ShowOptionsLine();
    /// Takes `chosen` for this and later runs and remembers it.
    void TakeChoices(const OutputChoices& chosen);
    void SetRunning(bool running);
    void OnFrameShown(const FramePicture& picture);
    /// During a run: the strip as the run's snapshot has it, between pictures too.
    void ShowProgress();
    void ShowRun(const present::RunSnapshot& run);
    void OnRunFinished(const BatchReport& report);
    /// Runs `f` so that nothing it throws leaves a Qt handler: a failure ends in a message.
    template <typename F>
    void Safely(F&& f) noexcept;
    void LoadSettings();
    void SaveSettings() const;

    QIcon m_hIcon;
    CGetdatactrl1 m_getdatactrl;
    /// With "salvage": the run's control instead of m_getdatactrl, and what it took cut off.
    std::shared_ptr<SalvageLog> m_salvageLog;
    std::unique_ptr<CGetdatactrl1> m_salvageControl;
    // After the control: the worker that uses it goes first.
    std::unique_ptr<RunWorker> m_worker;
    ProgressStrip* m_progress = nullptr;
    FrameView* m_view = nullptr;
    StatusLight* m_light = nullptr;
    HostedButton* m_openFolder = nullptr;
    HostedButton* m_showReport = nullptr;
    ProfileView* m_horizontal = nullptr;
    ProfileView* m_vertical = nullptr;

    DialogServices* m_services;
    std::unique_ptr<DialogServices> m_ownedServices;
    QButtonGroup* m_radioGroup = nullptr;
    std::map<int, QWidget*> m_items;
    BatchSettings m_runSettings;
    QString m_lastFolder;  ///< where the picker opens; remembered across starts
    QString m_runFolder;   ///< the folder of the last run
    OutputChoices m_outputChoices;  ///< from the "Output options..." panel
    OutputChoices m_runChoices;     ///< those the last run took
    QPushButton* m_optionsButton = nullptr;
    QLabel* m_optionsLine = nullptr;
    QAction* m_optionsAction = nullptr;
    std::optional<BatchReport> m_lastReport;
    QTimer m_progressTimer;
    bool m_closeAfterRun = false;
    bool m_startAgain = false;  ///< the run ended to start again under the names just chosen
};

}  // namespace qf
