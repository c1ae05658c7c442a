// ArrowGroup: the arrow keys move through a dialog group's items as a dialog group does.
// Down and Right go to the next enabled item, Up and Left to the previous one, wrapping
// at the ends; a radio button reached so is selected. The items keep their own place in
// the tab order (radio buttons stay out of it).
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace qf {

class ArrowGroup : public QObject {
    Q_OBJECT
public:
    /// `items` in group order; the group filters their key presses.
    ArrowGroup(const std::vector<QWidget*>& items, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Move(QWidget* from, int step);

    std::vector<QPointer<QWidget>> items_;
};

}  // namespace qf
