#include "dialog/warning_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace qf {

bool WarningBox::NeedsList(const QString& text) { return text.count(QLatin1Char('\n')) + 1 > kMaxPlainLines; }

WarningBox::WarningBox(QWidget* parent, const QString& title, const QString& text)
    : QDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(title);
    QStringList lines = text.split(QLatin1Char('\n'));
    const QString heading = lines.isEmpty() ? QString() : lines.takeFirst();
    while (!lines.isEmpty() && lines.first().isEmpty()) lines.removeFirst();

    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side, side));
    auto* headingLabel = new QLabel(heading, this);
    headingLabel->setTextFormat(Qt::PlainText);
    headingLabel->setWordWrap(true);
    list_->addItems(lines);
    list_->setObjectName(QStringLiteral("warningLines"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);  // lines can be copied
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(headingLabel, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);

    // As large as the lines ask, within the screen's free area.
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const int rows = list_->sizeHintForRow(0) > 0 ? list_->sizeHintForRow(0) * static_cast<int>(lines.size()) : 0;
    const int width = std::min(free.width() * 9 / 10, std::max(480, list_->sizeHintForColumn(0) + 48));
    const int height = std::min(free.height() * 8 / 10, rows + 160);
    setMaximumSize(free.size());
    resize(width, height);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
}

}  // namespace qf
