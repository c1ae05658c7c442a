// CReportDlg: the whole report of the last run, one line an item, to read, copy (the
// selected lines, or all) and save as text.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace qf {

class DialogServices;

class CReportDlg : public QDialog {
    Q_OBJECT
public:
    /// `services` (not owned) picks the file to save to and shows what went wrong.
    CReportDlg(const QStringList& lines, DialogServices& services, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    /// The selected lines, or every line when none is selected, one a line.
    QString Text() const;
    /// Copies Text() to the clipboard.
    void Copy();
    /// Asks for a file and writes every line to it; false if nothing was written.
    bool Save();

private:
    QListWidget* list_;
    DialogServices& services_;
};

}  // namespace qf
