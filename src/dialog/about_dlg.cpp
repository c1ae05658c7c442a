#include "dialog/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "dialog/dialog_template.h"
#include "dialog/window_icon.h"
#include "platform/version.h"

namespace qf {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Quillfen"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogUnits du = DialogUnits::ForFont(font());
    for (const TemplateItem& item : AboutTemplate()) {
        QRect rect = du.Rect(item.dialogUnits);
        if (item.kind == ItemKind::kIcon) {
            auto* icon = new QLabel(this);
            icon->setObjectName(QStringLiteral("aboutIcon"));
            icon->setPixmap(ApplicationIcon().pixmap(32, 32));
            icon->setGeometry(rect.x(), rect.y(), std::max(rect.width(), 32), std::max(rect.height(), 32));
        } else if (item.kind == ItemKind::kStatic) {
            QString caption = item.Caption();
            if (caption.contains(QLatin1String("%1"))) caption = caption.arg(QString::fromLatin1(QuillfenVersion()));
            auto* label = new QLabel(caption, this);
            label->setTextFormat(Qt::PlainText);
            // A line taller than one line of text wraps within its rectangle.
            if (item.dialogUnits.height() > 8) {
                label->setWordWrap(true);
                label->setGeometry(rect);
                continue;
            }
            label->setGeometry(rect.x(), rect.y(), std::max(rect.width(), label->sizeHint().width()),
                               std::max(rect.height(), label->sizeHint().height()));
        } else {
            auto* ok = new QPushButton(item.Caption(), this);
            ok->setObjectName(QStringLiteral("aboutOk"));
            ok->setGeometry(rect);
            ok->setDefault(true);
            connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        }
    }
    setFixedSize(du.X(kAboutWidthDu), du.Y(kAboutHeightDu));
}

}  // namespace qf
