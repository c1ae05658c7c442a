// The Output Options panel (template 103): edits OutputSettings, the same choices as the
// Qt dialog's panel (the compression's level enabled for deflate and zstd only); OK closes it only when the choices make a valid run, else the line
// under the fields says what is wrong.
#pragma once

#include "app_win/dialog_services.h"
#include "app_win/output_settings.h"

#include <functional>

namespace qf::win {

class OutputOptionsPanel {
public:
    OutputOptionsPanel(OutputSettings settings, DialogServices& services) : settings_(std::move(settings)), services_(services) {}

    /// Shows the panel until it is closed; true when closed with OK (then settings() holds
    /// the choices). `shown`, when set, is called with the panel's window once it is up.
    bool RunModal(HWND owner, const std::function<void(HWND)>& shown = nullptr);

    const OutputSettings& settings() const { return settings_; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam);
    void Fill();
    OutputSettings Read() const;
    void UpdateLevel();
    /// Shows what is wrong with the fields ("" when nothing) and returns it.
    std::string UpdateProblem();

    OutputSettings settings_;
    DialogServices& services_;
    std::function<void(HWND)> shown_;
    HWND hwnd_ = nullptr;
};

}  // namespace qf::win
