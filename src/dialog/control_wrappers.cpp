#include "dialog/control_wrappers.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace qf {

HostedItem::HostedItem(const char* className, int id, QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("item%1").arg(id));
    setProperty("wrapperClass", QString::fromLatin1(className));
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
}

HostedButton::HostedButton(const char* className, int id, const QString& text, QWidget* parent)
    : HostedItem(className, id, parent), button_(new QPushButton(text, this)) {
    button_->setObjectName(QStringLiteral("button%1").arg(id));
    button_->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_);
}

}  // namespace qf
