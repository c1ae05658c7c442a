// Item 1001: where a run stands. One line names the data file (i of n) and the frame,
// a progress bar below it carries the pace and the time left; after a run the line says
// how it ended.
#pragma once


#include "dialog/control_wrappers.h"

class QFontMetrics;
class QLabel;
class QProgressBar;

namespace qf {

/// `text` as it fits in `width` pixels: whole when it fits, else its first and (with
/// `keepEnd`) last words (a path's parts count as words) with an ellipsis for the words
/// left out, never a word cut (present/line_fit.h, measured with `metrics`).
QString ElideAtWordEnds(const QString& text, const QFontMetrics& metrics, int width, bool keepEnd = true);

class ProgressStrip : public HostedItem {
    Q_OBJECT
public:
    ProgressStrip(int id, QWidget* parent);

    /// A run begins: the bar at zero, the line says so.
    void Start();
    /// Where the run stands, in the words of the presentation layer ("File 3 of 12: ...").
    void SetLine(const QString& text);
    /// The bar: `fraction` (0 to 1) of the run is done.
    void SetDone(double fraction);
    /// The run's pace in the presentation layer's words ("12.3 frames/s, 40 s left"), on the
    /// bar after its percent; empty: the percent alone.
    void SetPace(const QString& pace);
    /// The run ended: `line` says how; the bar shows `percent`.
    void Finish(const QString& line, int percent);

    /// The whole line (where it shows, a long one is shortened in the middle).
    QString text() const;
    int percent() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowElided();

    QLabel* line_;
    QProgressBar* bar_;
    QString text_;  ///< the whole line
};

}  // namespace qf
