// A warning whose text may run to many lines (a run's failures, the data files a stop left):
// the first line as its heading, the rest in a scrolling list, and never taller or wider
// than the screen it opens on.
#pragma once

#include <QDialog>

class QListWidget;

namespace qf {

class WarningBox : public QDialog {
    Q_OBJECT
public:
    /// Texts of more lines than this get the scrolling list; shorter ones a plain box.
    static constexpr int kMaxPlainLines = 12;

    WarningBox(QWidget* parent, const QString& title, const QString& text);
    /// The list of the lines after the first.
    QListWidget* list() const { return list_; }

    /// True when `text` is long enough for a WarningBox rather than a plain message box.
    static bool NeedsList(const QString& text);

private:
    QListWidget* list_;
};

}  // namespace qf
