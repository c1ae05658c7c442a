// quillfen.exe [FOLDER]: the converter dialog on Windows; with a folder (given on the command
// line, or dropped on the program's icon) it converts that folder as soon as it is up.
#include "app_win/converter_dialog.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);  // the pickers
    qf::win::SystemServices services;
    qf::win::ConverterOptions options;
    options.services = &services;
    int argc = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        if (argc >= 2) options.startFolder = qf::win::Utf8(argv[1]);
        LocalFree(argv);
    }
    qf::win::ConverterDialog dialog(options);
    const INT_PTR result = dialog.RunModal(instance);
    CoUninitialize();
    return result == -1 ? 1 : 0;
}
