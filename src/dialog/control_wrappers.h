// The hosted items of the converter dialog. Each keeps its id and the class name of the
// component that stood there ("wrapperClass"); what it shows is ours:
// the progress strip (1001), the frame view (1002), the status light (1003), two buttons
// (1004, 1005) and the two profiles (1006, 1007). Item 1000 is the acquisition control.
#pragma once

#include <QFrame>

#include "control/getdata_ctrl.h"

class QPushButton;

namespace qf {

/// A hosted item's frame: the room the window's layout gives it.
class HostedItem : public QFrame {
    Q_OBJECT
public:
    HostedItem(const char* className, int id, QWidget* parent);
};

/// Item 1000: the window of the acquisition control. The control itself is the dialog's
/// CGetdatactrl1 member; this only holds its place.
class AcquisitionItem : public HostedItem {
    Q_OBJECT
public:
    AcquisitionItem(int id, QWidget* parent) : HostedItem("CGetdatactrl1", id, parent) {}
};

/// Items 1004 and 1005: a push button filling the item.
class HostedButton : public HostedItem {
    Q_OBJECT
public:
    HostedButton(const char* className, int id, const QString& text, QWidget* parent);
    QPushButton* button() const { return button_; }

private:
    QPushButton* button_;
};

}  // namespace qf
