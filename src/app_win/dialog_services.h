// What the Win32 dialog asks of the system that would block a test: the folder and file
// pickers and message boxes. Tests hand in their own.
#pragma once

#include "platform/windows_api.h"

#include <string>

namespace qf::win {

class DialogServices {
public:
    virtual ~DialogServices() = default;
    /// A folder the user picked, as UTF-8, the picker opening at `start` ("" for the
    /// system's choice); "" when they cancelled.
    virtual std::string PickFolder(HWND owner, const std::string& start) = 0;
    /// A file to save to, as UTF-8, the picker offering `name`; "" when they cancelled.
    virtual std::string PickSaveFile(HWND owner, const std::string& name) = 0;
    /// Shows `text` (UTF-8) until the user closes it.
    virtual void ShowMessage(HWND owner, const std::string& title, const std::string& text, bool warning) = 0;
    /// Asks `question` (UTF-8); true for Yes.
    virtual bool AskYesNo(HWND owner, const std::string& title, const std::string& question) = 0;
    /// Opens `folder` in the file manager.
    virtual void OpenFolder(HWND owner, const std::string& folder) = 0;
};

/// The system's own: IFileDialog (FOS_PICKFOLDERS; the save dialog), MessageBoxW, ShellExecuteW.
class SystemServices : public DialogServices {
public:
    std::string PickFolder(HWND owner, const std::string& start) override;
    std::string PickSaveFile(HWND owner, const std::string& name) override;
    void ShowMessage(HWND owner, const std::string& title, const std::string& text, bool warning) override;
    bool AskYesNo(HWND owner, const std::string& title, const std::string& question) override;
    void OpenFolder(HWND owner, const std::string& folder) override;
};

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
/// The system's words for the error `code` (GetLastError's), without the line end.
std::string SystemMessage(unsigned long code);

}  // namespace qf::win
