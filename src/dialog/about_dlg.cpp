#include "dialog/about_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "dialog/window_icon.h"
#include "platform/version.h"

namespace qf {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quillfen"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    // %1: the program's version, as quillfen-cli --version gives it.
    const QString lines[] = {
        tr("Quillfen, Version %1").arg(QString::fromLatin1(QuillfenVersion())),
        tr("ORX frames to TIFF and BMP"),
        // The word in the converter's group box caption, which stays as users know it.
        tr("\"Orlix files\" are the camera's data files, whose names end in .orx."),
    };
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const int line = fontMetrics().height();
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(line * 3 / 2, line * 3 / 2, line, line * 2 / 3);
    grid->setHorizontalSpacing(line * 3 / 2);
    grid->setVerticalSpacing(line / 2);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    QLabel* label = nullptr;
    for (int row = 0; row < 3; ++row) {
        label = new QLabel(lines[row], this);
        label->setTextFormat(Qt::PlainText);
        grid->addWidget(label, row, 1);
    }
    // The explanation, last, wraps: on one line it would make the box twice as wide.
    label->setWordWrap(true);
    label->setFixedWidth(fontMetrics().averageCharWidth() * 36);
    grid->setRowMinimumHeight(3, line / 2);
    grid->addWidget(ok, 4, 1, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qf
