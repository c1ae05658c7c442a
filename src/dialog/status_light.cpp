#include "dialog/status_light.h"

#include <QPainter>

namespace qf {

StatusLight::StatusLight(int id, QWidget* parent) : HostedItem("", id, parent) {
    setAccessibleName(tr("Run status"));
    SetState(State::kIdle);
}

void StatusLight::SetState(State state) {
    state_ = state;
    setToolTip(Words());
    setAccessibleDescription(Words());
    update();
}

QString StatusLight::Words() const {
    switch (state_) {
        case State::kIdle: return tr("Idle");
        case State::kRunning: return tr("Running");
        case State::kClean: return tr("Finished: every file converted");
        case State::kFailures: return tr("Finished with failures");
        case State::kStopped: return tr("Stopped");
    }
    return QString();
}

QColor StatusLight::Colour(State state) {
    switch (state) {
        case State::kIdle: return QColor(150, 150, 150);
        case State::kRunning: return QColor(40, 120, 230);
        case State::kClean: return QColor(30, 170, 60);
        case State::kFailures: return QColor(235, 160, 20);
        case State::kStopped: return QColor(210, 40, 40);
    }
    return QColor();
}

void StatusLight::paintEvent(QPaintEvent* event) {
    HostedItem::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int d = std::max(4, std::min(width(), height()) - 4);
    const QRectF circle((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    painter.setPen(QPen(Colour(state_).darker(150), 1));
    painter.setBrush(Colour(state_));
    painter.drawEllipse(circle);
}

}  // namespace qf
