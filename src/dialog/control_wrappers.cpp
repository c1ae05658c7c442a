#include "dialog/control_wrappers.h"

namespace qf {

HostedItem::HostedItem(const char* className, int id, QWidget* parent) : QFrame(parent), id_(id) {
    setObjectName(QStringLiteral("item%1").arg(id));
    setProperty("wrapperClass", QString::fromLatin1(className));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
}

}  // namespace qf
