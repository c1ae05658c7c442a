#include "dialog/arrow_group.h"

#include <QKeyEvent>
#include <QRadioButton>

namespace qf {

ArrowGroup::ArrowGroup(const std::vector<QWidget*>& items, QObject* parent) : QObject(parent) {
    for (QWidget* item : items) {
        items_.emplace_back(item);
        item->installEventFilter(this);
    }
}

bool ArrowGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    switch (key->key()) {
        case Qt::Key_Down:
        case Qt::Key_Right: return Move(qobject_cast<QWidget*>(watched), 1);
        case Qt::Key_Up:
        case Qt::Key_Left: return Move(qobject_cast<QWidget*>(watched), -1);
        default: return false;
    }
}

bool ArrowGroup::Move(QWidget* from, int step) {
    const int n = static_cast<int>(items_.size());
    int at = -1;
    for (int i = 0; i < n; ++i) {
        if (items_[i] == from) at = i;
    }
    if (at < 0) return false;
    for (int k = 1; k < n; ++k) {
        QWidget* next = items_[((at + step * k) % n + n) % n];
        if (!next || !next->isEnabled() || !next->isVisibleTo(next->window())) continue;
        next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        if (auto* radio = qobject_cast<QRadioButton*>(next)) radio->setChecked(true);
        return true;
    }
    return true;
}

}  // namespace qf
