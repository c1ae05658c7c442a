#include "dialog/quillfen_dlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <algorithm>

#include "control/orx_control.h"
#include "dialog/about_dlg.h"
#include "dialog/arrow_group.h"
#include "dialog/control_wrappers.h"
#include "dialog/dialog_services.h"
#include "dialog/dialog_template.h"
#include "dialog/frame_view.h"
#include "dialog/profile_view.h"
#include "dialog/progress_strip.h"
#include "dialog/report_dlg.h"
#include "dialog/run_worker.h"
#include "dialog/status_light.h"
#include "dialog/window_icon.h"
#include "platform/file_io.h"

namespace qf {
namespace {

const char* const kFolderKey = "converter/folder";
const char* const kKindKey = "converter/kind";

// Text items are widened (never narrowed) where the font would cut their label.
QRect FitText(QRect rect, const QWidget* widget) {
    rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
    return rect;
}

StatusLight::State LightOf(present::RunState state) {
    switch (state) {
        case present::RunState::kRunning: return StatusLight::State::kRunning;
        case present::RunState::kClean: return StatusLight::State::kClean;
        case present::RunState::kFailures: return StatusLight::State::kFailures;
        case present::RunState::kStopped: return StatusLight::State::kStopped;
    }
    return StatusLight::State::kIdle;
}

}  // namespace

template <typename F>
void CQuillfenDlg::Safely(F&& f) noexcept {
    try {
        f();
    } catch (const std::exception& e) {
        try {
            m_services->ShowWarning(this, windowTitle(), QString::fromLocal8Bit(e.what()));
        } catch (...) {
        }
    } catch (...) {
    }
}

CQuillfenDlg::CQuillfenDlg(DialogServices* services, QWidget* parent)
    : QDialog(parent), m_hIcon(ApplicationIcon()), m_worker(std::make_unique<RunWorker>(m_getdatactrl)),
      m_services(services) {
    if (!m_services) {
        m_ownedServices = std::make_unique<DesktopServices>();
        m_services = m_ownedServices.get();
    }
    RunTexts::InstallTranslator();
    setWindowTitle(tr("ORX File Converter"));
    // A resizable border, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // A frame for each core this process may run on at once; the run reports as one job would.
    RunOptions defaults;
    defaults.jobs = 0;
    m_runSettings = SettingsToRun(defaults);
    CreateItems();
    ConnectWorker();
    OnInitDialog();
}

CQuillfenDlg::~CQuillfenDlg() {
    // The run uses m_getdatactrl: it ends before anything else goes.
    m_worker.reset();
}

void CQuillfenDlg::CreateItems() {
    const DialogUnits du = DialogUnits::ForFont(font());
    m_radioGroup = new QButtonGroup(this);
    for (const TemplateItem& item : ConverterTemplate()) {
        QWidget* widget = CreateItem(item);
        const QRect rect = du.Rect(item.dialogUnits);
        widget->setGeometry(item.kind == ItemKind::kHosted ? rect : FitText(rect, widget));
        widget->setObjectName(QStringLiteral("item%1").arg(item.id));
        m_items[item.id] = widget;
    }
    // Under the radio group, where the group box ends and "Open Folder" has not begun.
    m_optionsButton = new QPushButton(tr("Output Options..."), this);
    m_optionsButton->setObjectName(QStringLiteral("outputOptions"));
    m_optionsButton->setGeometry(FitText(du.Rect(QRect(191, 102, 87, 12)), m_optionsButton));
    connect(m_optionsButton, &QPushButton::clicked, this, [this] { Safely([this] { OnOutputOptions(); }); });
    // Under "Show Report", above the profiles: choices remembered across starts (a pattern
    // taken from an offer) would otherwise shape every run unseen.
    m_optionsLine = new QLabel(this);
    m_optionsLine->setObjectName(QStringLiteral("optionsLine"));
    m_optionsLine->setTextFormat(Qt::PlainText);
    m_optionsLine->setGeometry(du.Rect(QRect(156, 181, 155, 11)));
    resize(du.X(kConverterWidthDu), du.Y(kConverterHeightDu));
    // The template's size is the least: the items grow and move from there.
    m_baseSize = size();
    setMinimumSize(m_baseSize);
    for (const auto& [id, widget] : m_items) m_baseRects.push_back({id, widget, widget->geometry()});
    m_baseRects.push_back({0, m_optionsButton, m_optionsButton->geometry()});
    m_baseRects.push_back({0, m_optionsLine, m_optionsLine->geometry()});
    // Choose Directory belongs to the radio buttons' group: the arrow keys move through
    // all five, as in a dialog group, while Tab reaches only the button.
    std::vector<QWidget*> group = {m_radioGroup->button(0), m_radioGroup->button(1), m_radioGroup->button(2),
                                   m_radioGroup->button(3), Item(kIdChooseDirectory)};
    new ArrowGroup(group, this);
}

QWidget* CQuillfenDlg::CreateItem(const TemplateItem& item) {
    switch (item.kind) {
        case ItemKind::kDefaultPushButton:
        case ItemKind::kPushButton: {
            auto* button = new QPushButton(item.Caption(), this);
            button->setDefault(item.kind == ItemKind::kDefaultPushButton);
            if (item.id == kIdOk) connect(button, &QPushButton::clicked, this, &CQuillfenDlg::accept);
            if (item.id == kIdCancel) connect(button, &QPushButton::clicked, this, &CQuillfenDlg::reject);
            if (item.id == kIdChooseDirectory) {
                connect(button, &QPushButton::clicked, this, &CQuillfenDlg::OnBnClickedChooseDirectory);
            }
            return button;
        }
        case ItemKind::kGroupBox: return new QGroupBox(item.Caption(), this);
        case ItemKind::kRadioButton: {
            auto* radio = new QRadioButton(item.Caption(), this);
            radio->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
            m_radioGroup->addButton(radio, item.id - kIdFirstRadio);
            return radio;
        }
        default: return CreateHostedItem(item.id);
    }
}

QWidget* CQuillfenDlg::CreateHostedItem(int id) {
    switch (id) {
        case 1000: return new AcquisitionItem(id, this);
        case 1001: return m_progress = new ProgressStrip(id, this);
        case 1002: return m_view = new FrameView(id, this);
        case 1003: return m_light = new StatusLight(id, this);
        case 1004: return m_openFolder = new HostedButton("CButtonctrl2", id, tr("Open Folder"), this);
        case 1005: return m_showReport = new HostedButton("", id, tr("Show Report"), this);
        case 1006: return m_horizontal = new ProfileView(ProfileView::Direction::kHorizontal, id, this);
        default: return m_vertical = new ProfileView(ProfileView::Direction::kVertical, id, this);
    }
}

void CQuillfenDlg::ConnectWorker() {
    // Every handler of the run's events runs Safely: nothing thrown leaves the event loop.
    connect(m_radioGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked) return;
        m_worker->SetKind(id);  // the run takes it from its next data file on
        Safely([this] { SaveSettings(); });
    });
    RunWorker* w = m_worker.get();
    connect(w, &RunWorker::kindAsked, this, [this](int kind) { m_exportKind = kind; });
    // A new data file and a look of the watch are drawn at once; the counts between them come
    // from the timer.
    connect(w, &RunWorker::fileStarted, this, [this] { Safely([&] { ShowProgress(); }); });
    connect(w, &RunWorker::frameShown, this, [this](const FramePicture& picture) {
        Safely([&] { OnFrameShown(picture); });
    });
    connect(w, &RunWorker::watchLooked, this, [this] { Safely([&] { ShowProgress(); }); });
    connect(w, &RunWorker::finished, this, [this](const BatchReport& report) {
        Safely([&] { OnRunFinished(report); });
    });
    connect(w, &RunWorker::namesClash, this, [this](int lost, bool stacks, bool acrossFolders) {
        bool answered = false;
        Safely([&] {
            OfferPattern(NameClashes{lost, stacks, acrossFolders});
            answered = true;
        });
        if (!answered) m_worker->AnswerClashes(true);  // the run never waits for an answer that cannot come
    });
    m_progressTimer.setInterval(RunWorker::kPictureInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { Safely([this] { ShowProgress(); }); });
    connect(m_openFolder->button(), &QPushButton::clicked, this, [this] { Safely([this] { OnOpenFolder(); }); });
    connect(m_showReport->button(), &QPushButton::clicked, this, [this] { Safely([this] { OnShowReport(); }); });
    m_openFolder->button()->setEnabled(false);
    m_showReport->button()->setEnabled(false);
}

// The frame view takes what the window grows by; the profiles share its width and move
// down with OK and Cancel; the radio group and the buttons beside the view move right.
void CQuillfenDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int dx = std::max(0, width() - m_baseSize.width());
    const int dy = std::max(0, height() - m_baseSize.height());
    for (const BaseRect& item : m_baseRects) {
        QRect r = item.rect;
        switch (item.id) {
            case 1002: r.adjust(0, 0, dx, dy); break;
            case 1001: r.adjust(0, 0, dx, 0); break;
            case 1000: r.translate(0, dy); break;
            case 1006: r.adjust(0, dy, dx / 2, dy); break;
            case 1007: r.adjust(dx / 2, dy, dx, dy); break;
            case kIdOk:
            case kIdCancel: r.translate(dx, dy); break;
            default: r.translate(dx, 0); break;
        }
        item.widget->setGeometry(r);
    }
}

void CQuillfenDlg::OnInitDialog() {
    LoadSettings();
    ShowOptionsLine();
    UpdateData(false);
    m_worker->SetKind(m_exportKind);
    // Window managers here keep their own window menu; the About command lives in the
    // dialog's context menu and on F1 instead.
    auto* about = new QAction(tr("&About Quillfen..."), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, &CQuillfenDlg::OnAbout);
    addAction(about);
    m_optionsAction = new QAction(tr("&Output options..."), this);
    connect(m_optionsAction, &QAction::triggered, this, [this] { Safely([this] { OnOutputOptions(); }); });
    addAction(m_optionsAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setWindowIcon(m_hIcon);
    try {
        m_getdatactrl.StartDriver();
    } catch (const std::exception&) {
        // The driver's answer is not needed; a control that fails shows at the first load.
    }
    // Enter at the start picks a folder: with the focus on OK, the default button, it
    // would close the program.
    if (QWidget* choose = Item(kIdChooseDirectory)) choose->setFocus();
}

void CQuillfenDlg::LoadSettings() {
    QSettings settings;
    m_lastFolder = settings.value(QLatin1String(kFolderKey)).toString();
    const int kind = settings.value(QLatin1String(kKindKey), 0).toInt();
    m_exportKind = kind >= kNormalizedTiff && kind <= kFalseColorBitmap ? kind : 0;
    m_outputChoices = OutputChoices::Load(settings);
}

void CQuillfenDlg::SaveSettings() const {
    QSettings settings;
    if (!m_lastFolder.isEmpty()) settings.setValue(QLatin1String(kFolderKey), m_lastFolder);
    settings.setValue(QLatin1String(kKindKey), m_radioGroup->checkedId());
}

QWidget* CQuillfenDlg::Item(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

bool CQuillfenDlg::running() const { return m_worker && m_worker->running(); }

void CQuillfenDlg::UpdateData(bool save) {
    if (save) {
        m_exportKind = m_radioGroup->checkedId();
    } else if (QAbstractButton* button = m_radioGroup->button(m_exportKind)) {
        button->setChecked(true);
    }
}

void CQuillfenDlg::accept() {
    if (running()) return;  // OK is disabled during a run; Enter must not end it either
    UpdateData(true);
    QDialog::accept();
}

void CQuillfenDlg::reject() {
    if (!running()) {
        QDialog::reject();
        return;
    }
    m_worker->RequestStop();
    ShowProgress();  // the strip says the run is stopping
}

void CQuillfenDlg::closeEvent(QCloseEvent* event) {
    if (!running()) {
        QDialog::closeEvent(event);
        return;
    }
    m_closeAfterRun = true;
    m_worker->RequestStop();
    event->ignore();
}

void CQuillfenDlg::OnAbout() {
    CAboutDlg about(this);
    about.setWindowIcon(m_hIcon);
    m_services->RunModal(about);
}

void CQuillfenDlg::OnBnClickedChooseDirectory() {
    // Nothing may leave a Qt event handler; whatever goes wrong ends in a message.
    try {
        if (running()) return;
        const QString folder = m_services->PickFolder(this, m_lastFolder);
        if (!folder.isEmpty()) StartRun(folder);
    } catch (const std::exception& e) {
        SetRunning(false);
        m_services->ShowWarning(this, windowTitle(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        SetRunning(false);
        m_services->ShowWarning(this, windowTitle(), tr("The conversion failed."));
    }
}

void CQuillfenDlg::StartRun(const QString& folder) {
    m_lastFolder = folder;
    m_runFolder = folder;
    SaveSettings();
    m_worker->SetKind(m_radioGroup->checkedId());
    // The plan names outputs for the kind chosen now; a file converted as another kind
    // (the radio group stays live) is named for its own kind as it converts.
    m_runSettings.plannedKind = m_radioGroup->checkedId();
    if (!m_outputChoices.ApplyTo(m_runSettings)) {
        m_services->ShowWarning(this, windowTitle(), m_outputChoices.Problem());
        return;
    }
    const std::string path = QFile::encodeName(folder).toStdString();
    m_runChoices = m_outputChoices;
    std::optional<FolderWatchSettings> watch;
    if (m_runChoices.keepWatching) {
        watch.emplace();
        watch->salvage = m_runChoices.salvage;
    }
    m_worker->KeepWatching(watch);
    m_closeAfterRun = false;
    CGetdatactrl1* control = nullptr;
    BatchSettings settings = m_runSettings;
    if (m_runChoices.salvage) {
        // Every control of the run salvages and tells one log, so that the report can list
        // the frames missing from each cut-off file.
        auto log = std::make_shared<SalvageLog>();
        m_salvageLog = log;
        m_salvageControl = MakeRunControl(true, log);
        control = m_salvageControl.get();
        settings.makeControl = [log] { return MakeRunControl(true, log); };
    }
    // Asked once the run's plan is made, on its thread: the window stays live while it plans.
    RunWorker* worker = m_worker.get();
    settings.carryOnDespite = [worker](const NameClashes& clashes) { return worker->AskAboutClashes(clashes); };
    if (m_worker->Start(path, settings, control, m_runChoices.salvage ? m_salvageLog : nullptr)) SetRunning(true);
}

void CQuillfenDlg::OfferPattern(const NameClashes& clashes) {
    QString lost;
    if (clashes.stacks) {
        lost = clashes.lost == 1 ? tr("1 stack would not be written: its name is taken by another data file's.")
                                 : tr("%1 stacks would not be written: their names are taken by other data files'.")
                                       .arg(clashes.lost);
    } else {
        lost = clashes.lost == 1 ? tr("1 frame would not be written: its name is taken by another frame.")
                                 : tr("%1 frames would not be written: their names are taken by other frames.")
                                       .arg(clashes.lost);
    }
    OutputChoices offered = m_outputChoices;
    QString question;
    // Day folders holding data files of one name clash in one output folder: only the
    // folder, in the path or in the name, tells them apart.
    if (clashes.acrossFolders && !m_outputChoices.outputDir.isEmpty() && m_outputChoices.namePattern.isEmpty()) {
        offered.mirror = true;
        question = tr("Data files of the same name in different subfolders take the same names in the output "
                      "folder. Write each subfolder's outputs into the same subfolder of the output folder?");
    } else if (clashes.acrossFolders) {
        offered.namePattern =
            clashes.stacks ? QStringLiteral("{dir}_{stem}") : QStringLiteral("{dir}_{stem}_{frame:04}");
        question = tr("Data files of the same name in different subfolders take the same names. "
                      "Name the outputs %1?").arg(offered.namePattern);
    } else if (!clashes.stacks) {
        offered.namePattern = QLatin1String(kSuggestedNamePattern);
        question = tr("Name the outputs %1?").arg(offered.namePattern);
    }
    // Nothing to offer that would change the names.
    if (offered == m_outputChoices || !offered.Problem().isEmpty() ||
        !m_services->AskYesNo(this, windowTitle(), lost + QLatin1Char(' ') + question)) {
        m_worker->AnswerClashes(true);
        return;
    }
    TakeChoices(offered);
    m_outputChoices.ApplyTo(m_runSettings);
    m_startAgain = true;
    m_worker->AnswerClashes(false);
}

void CQuillfenDlg::TakeChoices(const OutputChoices& chosen) {
    m_outputChoices = chosen;
    QSettings settings;
    m_outputChoices.Save(settings);
    ShowOptionsLine();
}

void CQuillfenDlg::ShowOptionsLine() {
    const QString line = m_outputChoices.Summary();
    const QString shown = ElideAtWordEnds(line, m_optionsLine->fontMetrics(), m_optionsLine->width(), false);
    m_optionsLine->setText(shown);
    m_optionsLine->setToolTip(m_outputChoices.ReportLine());
}

void CQuillfenDlg::SetRunning(bool running) {
    for (int id : {kIdOk, kIdChooseDirectory}) Item(id)->setEnabled(!running);
    m_optionsButton->setEnabled(!running);
    if (m_optionsAction) m_optionsAction->setEnabled(!running);
    m_openFolder->button()->setEnabled(!running && !m_runFolder.isEmpty());
    m_showReport->button()->setEnabled(!running && m_lastReport.has_value());
    if (running) {
        setCursor(Qt::WaitCursor);
        m_light->SetState(StatusLight::State::kRunning);
        m_progress->Start();
        m_progressTimer.start();
    } else {
        m_progressTimer.stop();
        unsetCursor();
        // The run disabled OK and "Choose Directory", so the focus went on to Cancel, where
        // Enter would close the program: it goes back where the run began.
        QWidget* focus = focusWidget();
        if (!focus || focus == Item(kIdCancel) || !focus->isEnabled()) Item(kIdChooseDirectory)->setFocus();
    }
}

void CQuillfenDlg::OnFrameShown(const FramePicture& picture) {
    m_view->ShowPicture(picture);
    m_horizontal->ShowProfile(picture.row, picture.rowPlot, picture.brightest.y(), picture.brightest.x());
    m_vertical->ShowProfile(picture.column, picture.columnPlot, picture.brightest.x(), picture.brightest.y());
    ShowProgress();
}

void CQuillfenDlg::ShowProgress() {
    if (running()) ShowRun(m_worker->snapshot());
}

void CQuillfenDlg::ShowRun(const present::RunSnapshot& run) {
    m_progress->SetLine(RunTexts::Text(run.line));
    m_progress->SetDone(run.fraction);
    m_progress->SetPace(RunTexts::Text(run.pace));
}

void CQuillfenDlg::OnRunFinished(const BatchReport& report) {
    if (m_startAgain) {  // the offer of other names was taken: the same folder, the names it chose
        m_startAgain = false;
        SetRunning(false);
        if (!m_closeAfterRun && report.stop == BatchStop::kInterrupted && !m_worker->stopRequested()) {
            StartRun(m_runFolder);
            return;
        }
    }
    m_lastReport = report;
    SetRunning(false);
    const present::RunSnapshot run = m_worker->snapshot();
    m_light->SetState(LightOf(run.state));
    ShowRun(run);
    emit runFinished();
    if (m_closeAfterRun) {
        done(QDialog::Rejected);
        return;
    }
    if (!run.endMessage.empty()) m_services->ShowWarning(this, windowTitle(), RunTexts::Text(run.endMessage));
}

void CQuillfenDlg::OnOpenFolder() {
    if (m_runFolder.isEmpty()) return;
    if (!m_services->OpenFolder(m_runFolder)) {
        m_services->ShowWarning(this, windowTitle(), tr("No file manager could open %1.")
                                                         .arg(QDir::toNativeSeparators(m_runFolder)));
    }
}

void CQuillfenDlg::OnOutputOptions() {
    if (running()) return;
    COutputOptionsDlg panel(m_outputChoices, *m_services, this);
    if (m_services->RunModal(panel) != QDialog::Accepted) return;
    const OutputChoices chosen = panel.choices();
    if (!chosen.Problem().isEmpty()) return;  // the panel would not close on it
    TakeChoices(chosen);
}

void CQuillfenDlg::OnShowReport() {
    if (!m_lastReport) return;
    QStringList lines = RunTexts::ReportLines(*m_lastReport);
    lines.prepend(m_runChoices.ReportLine());
    CReportDlg report(lines, *m_services, this);
    m_services->RunModal(report);
}

}  // namespace qf
