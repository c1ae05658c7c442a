#include "dialog/frame_view.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "dialog/run_texts.h"

namespace qf {

// The scroll area the frame is drawn in: every event goes to the view.
class FrameCanvas : public QAbstractScrollArea {
public:
    explicit FrameCanvas(FrameView& view) : QAbstractScrollArea(&view), view_(view) {
        viewport()->setMouseTracking(true);
        setFrameShape(QFrame::NoFrame);
        // No tab stop and no focus from a click: the window's tab order stays, and Enter
        // still goes to the button that had the focus. Its keys act on the whole window.
        setFocusPolicy(Qt::NoFocus);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override { view_.Relayout(); }
    void scrollContentsBy(int, int) override {
        viewport()->update();
        view_.ShowReadout(view_.pointer_);
    }
    void wheelEvent(QWheelEvent* event) override {
        const int delta = event->angleDelta().y();
        if (delta > 0) view_.ZoomAbout(event->position(), [](present::FrameZoom& z) { return z.ZoomIn(); });
        if (delta < 0) view_.ZoomAbout(event->position(), [](present::FrameZoom& z) { return z.ZoomOut(); });
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) dragFrom_ = event->position();
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragFrom_.reset(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (dragFrom_ && (event->buttons() & Qt::LeftButton)) {
            // A drag moves the frame with the pointer.
            const QPointF moved = event->position() - *dragFrom_;
            dragFrom_ = event->position();
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - qRound(moved.x()));
            verticalScrollBar()->setValue(verticalScrollBar()->value() - qRound(moved.y()));
        }
        view_.ShowReadout(event->position());
    }
    bool viewportEvent(QEvent* event) override {
        if (event->type() == QEvent::Leave) view_.ShowReadout(std::nullopt);
        return QAbstractScrollArea::viewportEvent(event);
    }

private:
    FrameView& view_;
    std::optional<QPointF> dragFrom_;
};

void FrameCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (view_.image_.isNull()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(viewport()->rect().adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap,
                         FrameView::tr("Choose a folder: each frame shows here as it is converted."));
        return;
    }
    const present::FrameZoom& zoom = view_.zoom_;
    const QRectF target(zoom.OriginX(view_.scrollX()), zoom.OriginY(view_.scrollY()), zoom.shownWidth(),
                        zoom.shownHeight());
    // Enlarged, each sample stays a sharp block: no smoothing between intensities.
    const bool enlarged = target.width() >= view_.image_.width();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !enlarged);
    painter.drawImage(target, view_.image_);
}

FrameView::FrameView(int id, QWidget* parent)
    : HostedItem("", id, parent), canvas_(new FrameCanvas(*this)), readout_(new QLabel(this)) {
    setAccessibleName(tr("Frame view"));
    setAccessibleDescription(tr("The frame just written, as its output kind shows it"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(1);
    layout->addWidget(canvas_, 1);
    layout->addWidget(readout_);
    readout_->setTextFormat(Qt::PlainText);
    readout_->setAccessibleName(tr("Pixel under the pointer"));
    readout_->setMinimumHeight(readout_->fontMetrics().height());
    readout_->setIndent(3);
    struct Command {
        QString text;
        QList<QKeySequence> keys;
        void (FrameView::*run)();
    };
    const Command commands[] = {
        {tr("Zoom &In"), {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &FrameView::ZoomIn},
        {tr("Zoom &Out"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &FrameView::ZoomOut},
        {tr("&Actual Size (1:1)"), {QKeySequence(Qt::CTRL | Qt::Key_1)}, &FrameView::ActualSize},
        {tr("&Fit to Window"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, &FrameView::FitToView},
    };
    for (const Command& command : commands) {
        auto* action = new QAction(command.text, this);
        action->setShortcuts(command.keys);
        connect(action, &QAction::triggered, this, command.run);
        addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
    Relayout();
}

void FrameView::ShowPicture(const FramePicture& picture) {
    image_ = picture.image;
    frame_ = picture.frame;
    zoom_.SetFrame(frame_ ? frame_->frameWidth : 0, frame_ ? frame_->frameHeight : 0);
    Relayout();
    canvas_->viewport()->update();
    ShowReadout(pointer_);
}

QWidget* FrameView::viewport() const { return canvas_->viewport(); }

QRect FrameView::ImageRect() const {
    if (image_.isNull()) return QRect();
    const QPoint topLeft = canvas_->viewport()->mapTo(this, QPoint(0, 0));
    return QRect(topLeft.x() + static_cast<int>(zoom_.OriginX(scrollX())),
                 topLeft.y() + static_cast<int>(zoom_.OriginY(scrollY())), zoom_.shownWidth(), zoom_.shownHeight());
}

QString FrameView::readout() const { return readout_->text(); }

int FrameView::scrollX() const { return canvas_->horizontalScrollBar()->value(); }
int FrameView::scrollY() const { return canvas_->verticalScrollBar()->value(); }

void FrameView::Relayout() {
    const QSize size = canvas_->viewport()->size();
    zoom_.SetView(size.width(), size.height());
    for (auto [bar, max, page] : {std::tuple{canvas_->horizontalScrollBar(), zoom_.maxScrollX(), size.width()},
                                  std::tuple{canvas_->verticalScrollBar(), zoom_.maxScrollY(), size.height()}}) {
        bar->setRange(0, max);
        bar->setPageStep(page);
        bar->setSingleStep(std::max(1, page / 20));
    }
    canvas_->viewport()->update();
}

void FrameView::ZoomAbout(QPointF at, bool (*change)(present::FrameZoom&)) {
    const present::FramePoint under = zoom_.FrameAt(at.x(), at.y(), scrollX(), scrollY());
    if (!change(zoom_)) return;
    Relayout();
    const present::FramePoint scroll = zoom_.ScrollKeeping(under, at.x(), at.y());
    canvas_->horizontalScrollBar()->setValue(static_cast<int>(scroll.x));
    canvas_->verticalScrollBar()->setValue(static_cast<int>(scroll.y));
    ShowReadout(pointer_);
}

// The keys and the menu zoom about the view's centre.
QPointF FrameView::Centre() const { return QRectF(canvas_->viewport()->rect()).center(); }
void FrameView::ZoomIn() { ZoomAbout(Centre(), [](present::FrameZoom& z) { return z.ZoomIn(); }); }
void FrameView::ZoomOut() { ZoomAbout(Centre(), [](present::FrameZoom& z) { return z.ZoomOut(); }); }
void FrameView::ActualSize() {
    ZoomAbout(Centre(), [](present::FrameZoom& z) {
        z.ActualSize();
        return true;
    });
}

void FrameView::FitToView() {
    zoom_.Fit();
    Relayout();
    ShowReadout(pointer_);
}

// Called from the pointer's event handlers: nothing thrown may leave it.
void FrameView::ShowReadout(std::optional<QPointF> pointer) noexcept {
    pointer_ = pointer;
    QString text;
    try {
        if (pointer && frame_) {
            if (const auto pixel = zoom_.PixelAt(pointer->x(), pointer->y(), scrollX(), scrollY())) {
                text = RunTexts::Text(
                    present::PixelReadout(*frame_, static_cast<int>(pixel->x), static_cast<int>(pixel->y)));
            }
        }
    } catch (...) {
        text.clear();  // no words to be had (out of memory): an empty line says nothing wrong
    }
    readout_->setText(text);
}

}  // namespace qf
