// What the dialog asks of the desktop: a folder, a message, a modal run. Behind an
// interface so that tests drive the dialog offscreen without anything blocking.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace qf {

class DialogServices {
public:
    virtual ~DialogServices() = default;
    /// A folder chosen by the user (no initial folder, folders only); empty if cancelled.
    virtual QString PickFolder(QWidget* parent) = 0;
    /// Shows one warning message and waits until it is closed.
    virtual void ShowWarning(QWidget* parent, const QString& title, const QString& text) = 0;
    /// Runs `dialog` modally; returns its result.
    virtual int RunModal(QDialog& dialog) = 0;
};

/// The real desktop: QFileDialog, QMessageBox, QDialog::exec.
class DesktopServices : public DialogServices {
public:
    QString PickFolder(QWidget* parent) override;
    void ShowWarning(QWidget* parent, const QString& title, const QString& text) override;
    int RunModal(QDialog& dialog) override;
};

}  // namespace qf
