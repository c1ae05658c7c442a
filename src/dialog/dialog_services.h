// What the dialog asks of the desktop: a folder, a file to save to, a message, a question,
// a modal run, the file manager. Behind an interface so that tests drive the dialog offscreen
// without anything blocking.
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace qf {

class DialogServices {
public:
    virtual ~DialogServices() = default;
    /// A folder chosen by the user, the picker opening at `start` (folders only); empty
    /// if cancelled.
    virtual QString PickFolder(QWidget* parent, const QString& start) = 0;
    /// A file name to save text to, `suggested` offered first; empty if cancelled.
    virtual QString PickSaveFile(QWidget* parent, const QString& suggested) = 0;
    /// Shows one warning message and waits until it is closed; a long one as a scrolling
    /// list that fits the screen.
    virtual void ShowWarning(QWidget* parent, const QString& title, const QString& text) = 0;
    /// Runs `dialog` modally; returns its result.
    virtual int RunModal(QDialog& dialog) = 0;
    /// Opens `folder` in the desktop's file manager; false if nothing could open it.
    virtual bool OpenFolder(const QString& folder) = 0;
    /// Asks a yes-or-no question and waits for the answer; true for Yes. The default
    /// answers No without asking (what a front end without questions does).
    virtual bool AskYesNo(QWidget* /*parent*/, const QString& /*title*/, const QString& /*text*/) { return false; }
};

/// The real desktop: QFileDialog, QMessageBox, QDialog::exec, QDesktopServices.
class DesktopServices : public DialogServices {
public:
    QString PickFolder(QWidget* parent, const QString& start) override;
    QString PickSaveFile(QWidget* parent, const QString& suggested) override;
    void ShowWarning(QWidget* parent, const QString& title, const QString& text) override;
    int RunModal(QDialog& dialog) override;
    bool OpenFolder(const QString& folder) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
};

}  // namespace qf
