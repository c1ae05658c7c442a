#include "dialog/progress_strip.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "present/line_fit.h"

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
    const auto widthOf = [&metrics](const std::string& line) {
        return metrics.horizontalAdvance(QString::fromStdString(line));
    };
    return QString::fromStdString(present::ElideAtWordEnds(text.toStdString(), widthOf, width, keepEnd));
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
