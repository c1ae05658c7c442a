#include "dialog/profile_view.h"

#include "present/profile_plot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace qf {

ProfileView::ProfileView(Direction direction, int id, QWidget* parent)
    : HostedItem("CProfilesctrl1", id, parent), direction_(direction) {
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(direction == Direction::kHorizontal ? tr("Horizontal profile") : tr("Vertical profile"));
    setAccessibleDescription(tr("Intensities through the brightest sample of the frame just written"));
}

void ProfileView::ShowProfile(std::vector<std::uint16_t> values, int position, int brightestAt, ExportKind kind,
                              int inputBits) {
    present::ProfilePlot plot = present::PlotProfile(values, kind, inputBits);
    ShowProfile(std::move(values), std::move(plot), position, brightestAt);
}

void ProfileView::ShowProfile(std::vector<std::uint16_t> values, present::ProfilePlot plot, int position,
                              int brightestAt) {
    values_ = std::move(values);
    plotted_ = std::move(plot.plotted);
    axisTop_ = plot.axisTop;
    position_ = position;
    brightestAt_ = brightestAt;
    setToolTip(Caption());
    update();
}

QString ProfileView::Caption() const {
    if (position_ < 0) return QString();
    return direction_ == Direction::kHorizontal ? tr("Row %1").arg(position_) : tr("Column %1").arg(position_);
}

QString ProfileView::Title(int position) const {
    if (position < 0) return direction_ == Direction::kHorizontal ? tr("Horizontal profile") : tr("Vertical profile");
    return (direction_ == Direction::kHorizontal ? tr("Horizontal profile, row %1") : tr("Vertical profile, column %1"))
        .arg(position);
}

QSize ProfileView::sizeHint() const {
    const QSize least = minimumSizeHint();
    return QSize(least.width(), least.height() + fontMetrics().height() * 6);
}

// As paintEvent draws: two pixels inside the frame, the title line, then the axis' labels
// beside the plot.
QSize ProfileView::minimumSizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int frame = 2 * frameWidth() + 4;
    const int axis = metrics.horizontalAdvance(QStringLiteral("65535")) + 4;
    // Rows and columns of a frame number five digits at most.
    const int title = metrics.horizontalAdvance(Title(88888));
    const int plot = metrics.averageCharWidth() * 12;
    return QSize(frame + std::max(title, axis + plot), frame + metrics.height() * 3);
}

void ProfileView::PaintAxis(QPainter& painter, const QRect& plot) const {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect labels(contentsRect().x() + 2, plot.y(), plot.x() - contentsRect().x() - 4, plot.height());
    painter.drawText(labels, Qt::AlignRight | Qt::AlignTop, QString::number(axisTop_));
    painter.drawText(labels, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("0"));
}

void ProfileView::paintEvent(QPaintEvent* event) {
    HostedItem::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(2, 2, -2, -2);
    const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 4;
    const int captionHeight = fontMetrics().height();
    const QRect plot(area.x() + labelWidth, area.y() + captionHeight, area.width() - labelWidth,
                     area.height() - captionHeight);
    painter.drawText(QRect(area.x(), area.y(), area.width(), captionHeight), Qt::AlignHCenter, Title(position_));
    PaintAxis(painter, plot);
    if (plotted_.empty() || plot.width() < 2 || plot.height() < 2) return;
    const double dx = plotted_.size() > 1 ? double(plot.width() - 1) / double(plotted_.size() - 1) : 0.0;
    auto point = [&](std::size_t i) {
        return QPointF(plot.x() + dx * double(i), plot.bottom() - double(plotted_[i]) / double(axisTop_) * (plot.height() - 1));
    };
    QPainterPath path(point(0));
    for (std::size_t i = 1; i < plotted_.size(); ++i) path.lineTo(point(i));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
    painter.drawPath(path);
    if (brightestAt_ >= 0 && static_cast<std::size_t>(brightestAt_) < plotted_.size()) {
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawEllipse(point(static_cast<std::size_t>(brightestAt_)), 2.5, 2.5);
    }
}

}  // namespace qf
