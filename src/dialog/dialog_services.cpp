#include "dialog/dialog_services.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace qf {

QString DesktopServices::PickFolder(QWidget* parent) {
    return QFileDialog::getExistingDirectory(parent, QString(), QString(), QFileDialog::ShowDirsOnly);
}

void DesktopServices::ShowWarning(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

int DesktopServices::RunModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace qf
