#include "dialog/quillfen_dlg.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "dialog/about_dlg.h"
#include "dialog/control_wrappers.h"
#include "dialog/dialog_services.h"
#include "dialog/dialog_template.h"
#include "dialog/window_icon.h"

namespace qf {
namespace {

constexpr int kMaxListedFailures = 20;
const char* const kAboutText = "&About Quillfen...";

// Shows the wait cursor for each scope the run opens. The outermost one lets the window
// system draw the cursor at once, since the run keeps the thread until it is done.
class WaitCursorObserver : public BatchObserver {
public:
    void BeginWait() override {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (++depth_ == 1) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    void EndWait() override {
        --depth_;
        QApplication::restoreOverrideCursor();
    }

private:
    int depth_ = 0;
};

// Text items are widened (never narrowed) where the font would cut their label.
QRect FitText(QRect rect, const QWidget* widget) {
    rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
    return rect;
}

}  // namespace

CQuillfenDlg::CQuillfenDlg(DialogServices* services, QWidget* parent)
    : QDialog(parent), m_hIcon(ApplicationIcon()), m_services(services) {
    if (!m_services) {
        m_ownedServices = std::make_unique<DesktopServices>();
        m_services = m_ownedServices.get();
    }
    setWindowTitle(QStringLiteral("ORX File Converter"));
    // A resizable border, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateItems();
    OnInitDialog();
}

CQuillfenDlg::~CQuillfenDlg() = default;

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
    resize(du.X(kConverterWidthDu), du.Y(kConverterHeightDu));
}

QWidget* CQuillfenDlg::CreateItem(const TemplateItem& item) {
    const QString text = QString::fromUtf8(item.text);
    switch (item.kind) {
        case ItemKind::kDefaultPushButton:
        case ItemKind::kPushButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(item.kind == ItemKind::kDefaultPushButton);
            if (item.id == kIdOk) connect(button, &QPushButton::clicked, this, &CQuillfenDlg::accept);
            if (item.id == kIdCancel) connect(button, &QPushButton::clicked, this, &CQuillfenDlg::reject);
            if (item.id == kIdChooseDirectory) {
                connect(button, &QPushButton::clicked, this, &CQuillfenDlg::OnBnClickedChooseDirectory);
            }
            return button;
        }
        case ItemKind::kGroupBox: return new QGroupBox(text, this);
        case ItemKind::kRadioButton: {
            auto* radio = new QRadioButton(text, this);
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
        case 1001: return m_button1001 = new CButtonctrl2(id, this);
        case 1004: return m_button1004 = new CButtonctrl2(id, this);
        case 1006: return m_profiles1006 = new CProfilesctrl1(id, this);
        case 1007: return m_profiles1007 = new CProfilesctrl1(id, this);
        default: return new HostedItem("", id, this);  // 1002, 1003, 1005: never bound
    }
}

void CQuillfenDlg::OnInitDialog() {
    UpdateData(false);
    // Window managers here keep their own window menu; the About command lives in the
    // dialog's context menu and on F1 instead.
    auto* about = new QAction(QString::fromUtf8(kAboutText), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, &CQuillfenDlg::OnAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setWindowIcon(m_hIcon);
    try {
        m_getdatactrl.StartDriver();
    } catch (const std::exception&) {
        // The driver's answer is not needed; a control that fails shows at the first load.
    }
    if (QWidget* ok = Item(kIdOk)) ok->setFocus();
}

QWidget* CQuillfenDlg::Item(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CQuillfenDlg::UpdateData(bool save) {
    if (save) {
        m_exportKind = m_radioGroup->checkedId();
    } else if (QAbstractButton* button = m_radioGroup->button(m_exportKind)) {
        button->setChecked(true);
    }
}

int CQuillfenDlg::RefreshExportKind() {
    UpdateData(true);
    return m_exportKind;
}

void CQuillfenDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CQuillfenDlg::OnAbout() {
    CAboutDlg about(this);
    about.setWindowIcon(m_hIcon);
    m_services->RunModal(about);
}

void CQuillfenDlg::OnBnClickedChooseDirectory() {
    // Nothing may leave a Qt event handler; whatever goes wrong ends in a message.
    try {
        const QString folder = m_services->PickFolder(this);
        if (folder.isEmpty()) return;
        WaitCursorObserver cursor;
        BatchReport report = RunBatch(m_getdatactrl, QFile::encodeName(folder).toStdString(),
                                      [this] { return RefreshExportKind(); }, m_runSettings, cursor);
        ShowReport(report);
    } catch (const std::exception& e) {
        m_services->ShowWarning(this, windowTitle(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        m_services->ShowWarning(this, windowTitle(), QStringLiteral("The conversion failed."));
    }
}

void CQuillfenDlg::ShowReport(const BatchReport& report) {
    const QString text = FailureMessage(report);
    if (!text.isEmpty()) m_services->ShowWarning(this, windowTitle(), text);
}

QString FailureMessage(const BatchReport& report) {
    if (report.clean()) return QString();
    QString text;
    switch (report.stop) {
        case BatchStop::kTiffCannotCreate: text = "The conversion stopped: a TIFF file could not be created."; break;
        case BatchStop::kFrameFailed: text = "The conversion stopped: a frame could not be read."; break;
        case BatchStop::kFolderUnreadable: text = "The folder could not be read."; break;
        case BatchStop::kInterrupted: text = "The conversion was stopped."; break;
        case BatchStop::kNone: text = "Some files could not be converted."; break;
    }
    text += "\n";
    const int listed = std::min<int>(static_cast<int>(report.failures.size()), kMaxListedFailures);
    for (int i = 0; i < listed; ++i) text += "\n" + QFile::decodeName(report.failures[i].Line().c_str());
    if (report.failures.size() > static_cast<std::size_t>(listed)) {
        text += QStringLiteral("\n... and %1 more.").arg(report.failures.size() - listed);
    }
    if (!report.notConverted.empty()) {
        text += QStringLiteral("\n\n%1 data files were not converted because the run stopped.")
                    .arg(report.notConverted.size());
    }
    text += QStringLiteral("\n\n%1 frames written.").arg(report.framesWritten);
    return text;
}

}  // namespace qf
