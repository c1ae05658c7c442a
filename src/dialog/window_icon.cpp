#include "dialog/window_icon.h"

namespace qf {

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256}) {
        icon.addFile(QStringLiteral(":/icons/quillfen-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace qf
