#include "dialog/progress_strip.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

namespace qf {

ProgressStrip::ProgressStrip(int id, QWidget* parent)
    : HostedItem("CButtonctrl2", id, parent), line_(new QLabel(this)), bar_(new QProgressBar(this)) {
    setAccessibleName(tr("Progress"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    line_->setTextFormat(Qt::PlainText);
    SetLine(tr("Ready."));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(true);
    bar_->setFormat(QString());
    bar_->setAccessibleName(tr("Run progress"));
    layout->addWidget(line_);
    layout->addWidget(bar_);
}

void ProgressStrip::Start() {
    bar_->setValue(0);
    bar_->setFormat(tr("%p%"));
    SetLine(tr("Reading the folder..."));
}

void ProgressStrip::SetDone(double fraction) {
    bar_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100));
}

void ProgressStrip::SetPace(const QString& pace) {
    bar_->setFormat(pace.isEmpty() ? tr("%p%") : tr("%p%") + QStringLiteral("  \u00b7  ") + pace);
}

void ProgressStrip::Finish(const QString& line, int percent) {
    bar_->setValue(percent);
    bar_->setFormat(tr("%p%"));
    SetLine(line);
}

QString ElideAtWordEnds(const QString& text, const QFontMetrics& metrics, int width, bool keepEnd) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    // Pieces that each end after a space or a slash: a cut between two of them cuts no word.
    QStringList pieces;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('/')) {
            pieces << text.mid(begin, i + 1 - begin);
            begin = i + 1;
        }
    }
    if (begin < text.size()) pieces << text.mid(begin);
    // The ellipsis stands for the words left out, with the space that ended them.
    const auto mark = [&pieces](qsizetype back) {
        QString m(QChar(0x2026));
        if (back > 0 && pieces[back - 1].endsWith(QLatin1Char(' '))) m += QLatin1Char(' ');
        return m;
    };
    QString head, tail;
    qsizetype front = 0, back = pieces.size();
    // Alternately a piece from the front and one from the back (with keepEnd), while they fit.
    for (bool grew = true; grew && front < back;) {
        grew = false;
        if (metrics.horizontalAdvance(head + pieces[front] + mark(back) + tail) <= width) {
            head += pieces[front++];
            grew = true;
        }
        if (keepEnd && front < back &&
            metrics.horizontalAdvance(head + mark(back - 1) + pieces[back - 1] + tail) <= width) {
            tail.prepend(pieces[--back]);
            grew = true;
        }
    }
    return head + mark(back) + tail;
}

// A line longer than the strip (a long folder, a summary of failures) is shortened at word
// ends where it shows; the whole line is its tooltip.
void ProgressStrip::SetLine(const QString& text) {
    text_ = text;
    ShowElided();
}

void ProgressStrip::ShowElided() {
    const QString shown = ElideAtWordEnds(text_, line_->fontMetrics(), std::max(1, contentsRect().width()));
    line_->setText(shown);
    line_->setToolTip(shown == text_ ? QString() : text_);
}

void ProgressStrip::resizeEvent(QResizeEvent* event) {
    HostedItem::resizeEvent(event);
    ShowElided();
}

QString ProgressStrip::text() const { return text_; }
int ProgressStrip::percent() const { return bar_->value(); }

}  // namespace qf
