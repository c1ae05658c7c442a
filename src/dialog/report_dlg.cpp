#include "dialog/report_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QKeySequence>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QVBoxLayout>

#include "dialog/dialog_services.h"

namespace qf {

CReportDlg::CReportDlg(const QStringList& lines, DialogServices& services, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)), services_(services) {
    setWindowTitle(tr("Report of the last run"));
    list_->addItems(lines);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAccessibleName(tr("Report lines"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton(tr("&Save As..."), QDialogButtonBox::ActionRole);
    // Nothing thrown may leave a Qt handler; a failed copy or save is only not done.
    connect(copy, &QPushButton::clicked, this, [this] {
        try {
            Copy();
        } catch (...) {
        }
    });
    connect(save, &QPushButton::clicked, this, [this] {
        try {
            Save();
        } catch (...) {
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* copyKey = new QShortcut(QKeySequence::Copy, list_);
    connect(copyKey, &QShortcut::activated, copy, &QPushButton::click);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(640, 400);
}

QString CReportDlg::Text() const {
    QStringList lines;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->isSelected()) lines << list_->item(i)->text();
    }
    if (lines.isEmpty()) {
        for (int i = 0; i < list_->count(); ++i) lines << list_->item(i)->text();
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void CReportDlg::Copy() { QApplication::clipboard()->setText(Text()); }

bool CReportDlg::Save() {
    const QString path = services_.PickSaveFile(this, QDir::home().filePath(QStringLiteral("quillfen-report.txt")));
    if (path.isEmpty()) return false;
    QStringList lines;
    for (int i = 0; i < list_->count(); ++i) lines << list_->item(i)->text();
    QSaveFile file(path);
    const QByteArray bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        services_.ShowWarning(this, windowTitle(), tr("The report could not be saved to %1: %2")
                                                       .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

}  // namespace qf
