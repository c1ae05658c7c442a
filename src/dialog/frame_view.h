// Item 1002: the frame just written, fitted to the item by default and growing with the
// window; the wheel, Ctrl + and Ctrl - zoom about the pointer, Ctrl+1 shows it 1:1 and
// Ctrl+0 fits it again (also in the view's context menu); the scroll bars (or a drag) move
// a frame larger than the view. A line under it tells the pixel under the pointer. The
// arithmetic of the zoom and the readout's words are the presentation layer's
// (present/frame_zoom.h); this maps events onto them and draws.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <memory>
#include <optional>

#include "dialog/control_wrappers.h"
#include "dialog/frame_picture.h"
#include "present/frame_zoom.h"

class QAction;
class QLabel;

namespace qf {

class FrameCanvas;

class FrameView : public HostedItem {
    Q_OBJECT
public:
    FrameView(int id, QWidget* parent);

    /// Shows `picture` until the next one, at the zoom the user chose.
    void ShowPicture(const FramePicture& picture);
    const QImage& image() const { return image_; }
    /// Where the whole frame is drawn, in this widget's coordinates (it may reach past the
    /// view when zoomed in; empty before a frame).
    QRect ImageRect() const;
    /// The viewport the frame is drawn in (where the pointer is tracked).
    QWidget* viewport() const;
    const present::FrameZoom& zoom() const { return zoom_; }
    /// The line under the view: the pixel under the pointer ("x 312, y 40: 3071"), else empty.
    QString readout() const;

    void ZoomIn();
    void ZoomOut();
    void ActualSize();
    void FitToView();

private:
    friend class FrameCanvas;
    /// After a change of zoom or of the view's size: the scroll bars' ranges.
    void Relayout();
    /// Zooms by `change` (false: no change) keeping the frame position under view point
    /// `at` where it is.
    void ZoomAbout(QPointF at, bool (*change)(present::FrameZoom&));
    QPointF Centre() const;
    void ShowReadout(std::optional<QPointF> pointer) noexcept;
    int scrollX() const;
    int scrollY() const;

    FrameCanvas* canvas_;
    QLabel* readout_;
    QImage image_;
    std::shared_ptr<const FramePixels> frame_;
    present::FrameZoom zoom_;
    std::optional<QPointF> pointer_;  ///< in the viewport, while it is over it
};

}  // namespace qf
