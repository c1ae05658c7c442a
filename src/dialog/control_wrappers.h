// The hosted items of the converter dialog. Item 1000 is the acquisition control; the
// others belong to a component family that shows nothing here, so they are plain
// placeholders of their template rectangles.
#pragma once

#include <QFrame>

#include "control/getdata_ctrl.h"

namespace qf {

/// A hosted item's frame: the rectangle it occupies, nothing drawn inside.
class HostedItem : public QFrame {
    Q_OBJECT
public:
    HostedItem(const char* className, int id, QWidget* parent);
    int id() const { return id_; }

private:
    int id_;
};

/// Item 1000: the window of the acquisition control. The control itself is the dialog's
/// CGetdatactrl1 member; this only holds its place.
class AcquisitionItem : public HostedItem {
    Q_OBJECT
public:
    AcquisitionItem(int id, QWidget* parent) : HostedItem("CGetdatactrl1", id, parent) {}
};

/// Items 1001 and 1004: the component's button control.
class CButtonctrl2 : public HostedItem {
    Q_OBJECT
public:
    CButtonctrl2(int id, QWidget* parent) : HostedItem("CButtonctrl2", id, parent) {}
};

/// Items 1006 and 1007: the component's profile control.
class CProfilesctrl1 : public HostedItem {
    Q_OBJECT
public:
    CProfilesctrl1(int id, QWidget* parent) : HostedItem("CProfilesctrl1", id, parent) {}
};

}  // namespace qf
