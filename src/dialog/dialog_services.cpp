#include "dialog/dialog_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "dialog/warning_box.h"

namespace qf {

QString DesktopServices::PickFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

QString DesktopServices::PickSaveFile(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, QString(), suggested,
                                        QFileDialog::tr("Text files (*.txt);;All files (*)"));
}

void DesktopServices::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    // A long list of failures would make a message box taller than the screen.
    if (!WarningBox::NeedsList(text)) {
        QMessageBox::warning(parent, title, text);
        return;
    }
    WarningBox box(parent, title, text);
    box.exec();
}

int DesktopServices::RunModal(QDialog& dialog) { return dialog.exec(); }

bool DesktopServices::AskYesNo(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

bool DesktopServices::OpenFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace qf
