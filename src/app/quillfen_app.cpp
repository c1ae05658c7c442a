#include "app/quillfen_app.h"

#include <QApplication>

#include "dialog/quillfen_dlg.h"
#include "dialog/window_icon.h"
#include "platform/memory.h"

namespace qf {

int CQuillfenApp::Run(int& argc, char** argv) {
    KeepFrameBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillfen"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLFEN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillfen"));
    QApplication::setWindowIcon(ApplicationIcon());
    CQuillfenDlg dialog;
    dialog.exec();  // OK, Cancel, Escape and the close box all end the program alike
    return 0;
}

}  // namespace qf
