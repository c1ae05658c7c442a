#include "dialog/frame_view.h"

#include <QPainter>

namespace qf {

FrameView::FrameView(int id, QWidget* parent) : HostedItem("", id, parent) {
    setAccessibleName(tr("Frame view"));
    setAccessibleDescription(tr("The frame just written, as its output kind shows it"));
    setFrameShape(QFrame::StyledPanel);
}

void FrameView::ShowImage(const QImage& image) {
    image_ = image;
    update();
}

QRect FrameView::ImageRect() const {
    if (image_.isNull()) return QRect();
    const QRect area = contentsRect();
    const QSize size = image_.size().scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
}

void FrameView::paintEvent(QPaintEvent* event) {
    HostedItem::paintEvent(event);
    QPainter painter(this);
    if (image_.isNull()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(contentsRect().adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("Choose a folder: each frame shows here as it is converted."));
        return;
    }
    // Each sample stays a sharp block: no smoothing between intensities.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(ImageRect(), image_);
}

}  // namespace qf
