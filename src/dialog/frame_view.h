// Item 1002: the frame just written, scaled to fit with its aspect kept; before the first
// frame, one line of hint text.
#pragma once

#include <QImage>

#include "dialog/control_wrappers.h"

namespace qf {

class FrameView : public HostedItem {
    Q_OBJECT
public:
    FrameView(int id, QWidget* parent);

    /// Shows `image` (top row first) until the next one.
    void ShowImage(const QImage& image);
    const QImage& image() const { return image_; }
    /// Where the image is drawn, in this widget's coordinates (empty before a frame).
    QRect ImageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

}  // namespace qf
