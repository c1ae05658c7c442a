#include "app_win/dialog_services.h"

#include <shellapi.h>
#include <shobjidl.h>

namespace qf::win {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::string SystemServices::PickFolder(HWND owner) {
    IFileDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&dialog)))) {
        return {};
    }
    std::string picked;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            picked = Utf8(path);
            CoTaskMemFree(path);
        }
        item->Release();
    }
    dialog->Release();
    return picked;
}

void SystemServices::ShowMessage(HWND owner, const std::string& title, const std::string& text, bool warning) {
    MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

void SystemServices::OpenFolder(HWND owner, const std::string& folder) {
    ShellExecuteW(owner, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace qf::win
