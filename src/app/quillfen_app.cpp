#include "app/quillfen_app.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "dialog/quillfen_dlg.h"
#include "dialog/window_icon.h"
#include "platform/memory.h"
#include "platform/version.h"

namespace qf {
namespace {

constexpr int kExitNoDisplay = 2;
bool g_startingToolkit = false;

[[noreturn]] void NoDisplay() {
    std::fputs("quillfen: there is no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset "
               "or cannot be reached); quillfen-cli does the same conversion from the command line\n",
               stderr);
    std::fflush(stderr);
    _exit(kExitNoDisplay);
}

// While the toolkit starts, its complaints about the display are ours to say, once and
// plainly, instead of an abort; afterwards every message goes on as usual.
void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (g_startingToolkit) {
        if (type == QtFatalMsg) NoDisplay();
        if (context.category && QByteArray(context.category).startsWith("qt.qpa")) return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    if (type == QtFatalMsg) std::abort();
}

bool NoDisplayConfigured() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return !set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY");
}

}  // namespace

int CQuillfenApp::Run(int& argc, char** argv) {
    KeepFrameBuffersForReuse();
    if (NoDisplayConfigured()) NoDisplay();
    qInstallMessageHandler(StartupMessages);
    g_startingToolkit = true;
    QApplication app(argc, argv);
    g_startingToolkit = false;
    // The last folder and kind are kept in ~/.config/Quillfen/Quillfen.conf.
    QApplication::setOrganizationName(QStringLiteral("Quillfen"));
    QApplication::setApplicationName(QStringLiteral("Quillfen"));
    QApplication::setApplicationVersion(QString::fromLatin1(QuillfenVersion()));
    QApplication::setDesktopFileName(QStringLiteral("quillfen"));
    QApplication::setWindowIcon(ApplicationIcon());
    CQuillfenDlg dialog;
    // OK, Cancel, Escape and the close box all end the program alike once no run goes;
    // during a run Cancel and Escape stop it, the close box stops it and then closes.
    dialog.exec();
    return 0;
}

}  // namespace qf
