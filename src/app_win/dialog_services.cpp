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

std::string SystemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = text ? Utf8(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) message.pop_back();
    return message;
}

namespace {

// Shows `dialog` (a file dialog set up by the caller) and returns the path picked, "" when cancelled.
std::string ShowFileDialog(IFileDialog* dialog, HWND owner) {
    std::string picked;
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

}  // namespace

std::string SystemServices::PickFolder(HWND owner, const std::string& start) {
    IFileDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&dialog)))) {
        return {};
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    // The last folder (it may be gone: the system's choice then).
    IShellItem* folder = nullptr;
    if (!start.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(Wide(start).c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(&folder)))) {
        dialog->SetFolder(folder);
        folder->Release();
    }
    return ShowFileDialog(dialog, owner);
}

std::string SystemServices::PickSaveFile(HWND owner, const std::string& name) {
    IFileDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&dialog)))) {
        return {};
    }
    const COMDLG_FILTERSPEC types[] = {{L"Text files", L"*.txt"}, {L"All files", L"*.*"}};
    dialog->SetFileTypes(2, types);
    dialog->SetDefaultExtension(L"txt");
    dialog->SetFileName(Wide(name).c_str());
    return ShowFileDialog(dialog, owner);
}

void SystemServices::ShowMessage(HWND owner, const std::string& title, const std::string& text, bool warning) {
    MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

bool SystemServices::AskYesNo(HWND owner, const std::string& title, const std::string& question) {
    return MessageBoxW(owner, Wide(question).c_str(), Wide(title).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void SystemServices::OpenFolder(HWND owner, const std::string& folder) {
    ShellExecuteW(owner, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace qf::win
