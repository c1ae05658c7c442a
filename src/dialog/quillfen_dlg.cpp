#include "dialog/quillfen_dlg.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "control/orx_control.h"
#include "dialog/about_dlg.h"
#include "dialog/arrow_group.h"
#include "dialog/control_wrappers.h"
#include "dialog/dialog_services.h"
#include "dialog/frame_view.h"
#include "dialog/profile_view.h"
#include "dialog/progress_strip.h"
#include "dialog/report_dlg.h"
#include "dialog/run_worker.h"
#include "dialog/status_light.h"
#include "dialog/window_icon.h"
#include "platform/file_io.h"
#include "present/clash_offer.h"

namespace qf {
namespace {

const char* const kFolderKey = "converter/folder";
const char* const kKindKey = "converter/kind";

// Room for `chars` average characters, or what the widget's own text needs where that is
// more (a longer translation): buttons side by side or one above the other share a width.
int TextRoom(const QWidget* widget, int chars) {
    return std::max(widget->sizeHint().width(), widget->fontMetrics().averageCharWidth() * chars);
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
    auto* ok = AddButton(kIdOk, tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CQuillfenDlg::accept);
    auto* cancel = AddButton(kIdCancel, tr("Cancel"), this);
    connect(cancel, &QPushButton::clicked, this, &CQuillfenDlg::reject);
    Keep(kIdAcquisition, new AcquisitionItem(kIdAcquisition, this));
    Keep(1001, m_progress = new ProgressStrip(1001, this));
    Keep(1002, m_view = new FrameView(1002, this));
    Keep(1003, m_light = new StatusLight(1003, this));
    Keep(1004, m_openFolder = new HostedButton("CButtonctrl2", 1004, tr("Open Folder"), this));
    Keep(1005, m_showReport = new HostedButton("", 1005, tr("Show Report"), this));
    Keep(1006, m_horizontal = new ProfileView(ProfileView::Direction::kHorizontal, 1006, this));
    Keep(1007, m_vertical = new ProfileView(ProfileView::Direction::kVertical, 1007, this));
    auto* group = new QGroupBox(tr("Convert All Orlix Files in a Directory to:"), this);
    Keep(-1, group);
    m_radioGroup = new QButtonGroup(this);
    const char* const kinds[] = {QT_TR_NOOP("Normalized TIFF"), QT_TR_NOOP("Standardized TIFF"),
                                 QT_TR_NOOP("Grayscale Bitmap"), QT_TR_NOOP("Color Palette Bitmap")};
    for (int kind = 0; kind < 4; ++kind) {
        auto* radio = new QRadioButton(tr(kinds[kind]), group);
        radio->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
        m_radioGroup->addButton(radio, kind);
        Keep(kIdFirstRadio + kind, radio);
    }
    auto* choose = AddButton(kIdChooseDirectory, tr("Choose Directory"), group);
    connect(choose, &QPushButton::clicked, this, &CQuillfenDlg::OnBnClickedChooseDirectory);
    m_optionsButton = new QPushButton(tr("Output Options..."), this);
    m_optionsButton->setObjectName(QStringLiteral("outputOptions"));
    connect(m_optionsButton, &QPushButton::clicked, this, [this] { Safely([this] { OnOutputOptions(); }); });
    // Choices remembered across starts (a pattern taken from an offer) would otherwise
    // shape every run unseen.
    m_optionsLine = new QLabel(this);
    m_optionsLine->setObjectName(QStringLiteral("optionsLine"));
    m_optionsLine->setTextFormat(Qt::PlainText);
    LayOut(group);
    // Tab reaches the buttons only: "Choose Directory", "Output Options...", OK, Cancel and,
    // once they can act, the two beside the view.
    QWidget* order[] = {choose, m_optionsButton, ok, cancel, m_openFolder->button(), m_showReport->button()};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    // Choose Directory belongs to the radio buttons' group: the arrow keys move through
    // all five, as in a dialog group, while Tab reaches only the button.
    std::vector<QWidget*> arrows = {m_radioGroup->button(0), m_radioGroup->button(1), m_radioGroup->button(2),
                                    m_radioGroup->button(3), choose};
    new ArrowGroup(arrows, this);
}

QPushButton* CQuillfenDlg::AddButton(int id, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    Keep(id, button);
    return button;
}

void CQuillfenDlg::Keep(int id, QWidget* widget) {
    widget->setObjectName(QStringLiteral("item%1").arg(id));
    m_items[id] = widget;
}

// The frame view takes what the window grows by and the profiles share its width; the
// status strip spans the view. The radio group, the buttons and the light keep their sizes,
// beside the view and under the profiles.
void CQuillfenDlg::LayOut(QGroupBox* group) {
    const int line = fontMetrics().height();
    auto* kinds = new QVBoxLayout(group);
    kinds->setContentsMargins(line * 2 / 3, line / 4, line * 2 / 3, line / 2);
    kinds->setSpacing(0);
    for (int kind = 0; kind < 4; ++kind) kinds->addWidget(m_radioGroup->button(kind));
    kinds->addSpacing(line / 4);
    QWidget* choose = Item(kIdChooseDirectory);
    kinds->addWidget(choose, 0, Qt::AlignHCenter);

    // Buttons above one another, or side by side, share a width.
    const int wide = std::max(TextRoom(choose, 25), TextRoom(m_optionsButton, 25));
    choose->setFixedSize(wide, line * 2);  // the button that starts a run stands out
    m_optionsButton->setFixedWidth(wide);
    const int hosted = std::max(TextRoom(m_openFolder->button(), 17), TextRoom(m_showReport->button(), 17));
    m_openFolder->setFixedWidth(hosted);
    m_showReport->setFixedWidth(hosted);
    const int narrow = std::max(TextRoom(Item(kIdOk), 14), TextRoom(Item(kIdCancel), 14));
    Item(kIdOk)->setFixedWidth(narrow);
    Item(kIdCancel)->setFixedWidth(narrow);
    m_light->setFixedSize(line * 3, line * 3 / 2);
    // The lines shorten their words to the room they have; their text never widens the window.
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_optionsLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_view->setMinimumSize(fontMetrics().averageCharWidth() * 24, line * 8);
    for (ProfileView* profile : {m_horizontal, m_vertical}) {
        profile->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    auto* side = new QVBoxLayout;
    side->setSpacing(0);
    side->addWidget(m_light, 0, Qt::AlignRight);
    side->addSpacing(line);
    side->addWidget(group);
    side->addSpacing(2);
    side->addWidget(m_optionsButton, 0, Qt::AlignHCenter);
    side->addSpacing(line * 3 / 4);
    side->addWidget(m_openFolder, 0, Qt::AlignHCenter);
    side->addSpacing(line * 3);
    side->addWidget(m_showReport, 0, Qt::AlignHCenter);
    side->addSpacing(line);
    side->addWidget(m_optionsLine);
    side->addStretch(1);

    auto* profiles = new QHBoxLayout;
    profiles->setContentsMargins(line, line / 4, line, 0);
    profiles->setSpacing(line * 5 / 2);
    profiles->addWidget(m_horizontal, 1);
    profiles->addWidget(m_vertical, 1);

    // The acquisition control's window holds the room left of OK; it shows nothing.
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, line, line, 0);
    buttons->setSpacing(line);
    buttons->addWidget(Item(kIdAcquisition), 1);
    buttons->addWidget(Item(kIdOk));
    buttons->addWidget(Item(kIdCancel));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(line / 2, line / 3, line / 2, line * 2 / 3);
    grid->setSpacing(line / 2);
    grid->addWidget(m_progress, 0, 0);
    grid->addWidget(m_view, 1, 0);
    grid->addLayout(side, 0, 1, 2, 1);
    grid->addLayout(profiles, 2, 0, 1, 2);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 1);
    // Opens at the size the items ask for; the least is what they need. The items stand in
    // place before the window shows: the options line elides to the width it has.
    resize(sizeHint());
    grid->activate();
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
    connect(w, &RunWorker::namesClash, this, [this](int lost, bool stacks, int acrossFolders) {
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
    const std::optional<present::ClashOffer> offer = present::OfferOtherNames(clashes, m_outputChoices.Plain());
    if (!offer || !m_services->AskYesNo(this, windowTitle(), QString::fromStdString(offer->question))) {
        m_worker->AnswerClashes(true);
        return;
    }
    OutputChoices offered = m_outputChoices;
    offered.mirror = offer->offered.mirror;
    offered.namePattern = QString::fromStdString(offer->offered.namePattern);
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
