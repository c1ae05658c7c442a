#include "dialog/dialog_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace qf {

QString DesktopServices::PickFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

QString DesktopServices::PickSaveFile(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, QString(), suggested,
                                        QFileDialog::tr("Text files (*.txt);;All files (*)"));
}

void DesktopServices::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

int DesktopServices::RunModal(QDialog& dialog) { return dialog.exec(); }

bool DesktopServices::OpenFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace qf
