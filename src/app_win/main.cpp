// quillfen.exe: the converter dialog on Windows.
#include "app_win/converter_dialog.h"

#include <commctrl.h>
#include <objbase.h>


int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);  // the folder picker
    qf::win::SystemServices services;
    qf::win::ConverterOptions options;
    options.services = &services;
    qf::win::ConverterDialog dialog(options);
    const INT_PTR result = dialog.RunModal(instance);
    CoUninitialize();
    return result == -1 ? 1 : 0;
}
