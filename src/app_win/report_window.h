// The report of the last run (template 104): a resizable window whose text scrolls, and
// whose lines are copied (the selection, or all) and saved as a text file.
#pragma once

#include "app_win/dialog_services.h"

#include <functional>
#include <string>
#include <vector>

namespace qf::win {

class ReportWindow {
public:
    ReportWindow(std::vector<std::string> lines, DialogServices& services) : lines_(std::move(lines)), services_(services) {}

    /// Shows the report until it is closed. `shown`, when set, is called with its window
    /// once it is up.
    void RunModal(HWND owner, const std::function<void(HWND)>& shown = nullptr);

    /// Every line, each ended by CR LF, as the window shows, copies and saves them.
    std::string Text() const;

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void Copy();
    void Save();

    std::vector<std::string> lines_;
    DialogServices& services_;
    std::function<void(HWND)> shown_;
    HWND hwnd_ = nullptr;
    SIZE minimum_{};
};

}  // namespace qf::win
