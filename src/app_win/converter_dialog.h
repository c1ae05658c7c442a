// The Win32 converter dialog (template 102): a thin view over the batch run, which goes on a
// worker thread and posts its events to the dialog; its words, pictures and pacing come from
// the presentation layer the Qt dialog shares. It grows from its template's size: the frame
// view (zoomed and read out as the Qt dialog's, app_win/frame_view.h) and the profiles take
// the room. Its Output Options panel edits the run's options; they, the kind and the last
// folder are kept in the registry.
#pragma once

#include "app_win/dialog_services.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app_win/dialog_run.h"
#include "app_win/frame_view.h"
#include "app_win/output_settings.h"
#include "present/frame_pixels.h"
#include "present/profile_plot.h"

namespace qf::win {

struct ConverterOptions {
    DialogServices* services = nullptr;
    /// Where the last folder, the kind and the output options are kept, under
    /// HKEY_CURRENT_USER (tests use their own).
    std::wstring settingsKey = L"Software\\Quillfen\\Quillfen";
    /// A folder converted as soon as the dialog is up (quillfen.exe FOLDER); "" for none.
    std::string startFolder;
    // The run's settings beside its options, for tests:
    /// What the run's pauses go through (tests hold the run here); unset, the system's.
    std::function<void(std::chrono::milliseconds)> pause;
    std::optional<std::chrono::milliseconds> settle;
    /// Frames converted at once; 0 for one per core.
    int jobs = 0;
    /// How long a new data file must stay complete and unchanged before the watch after a
    /// run converts it; unset, the watch's own (2 s).
    std::optional<std::chrono::milliseconds> watchSettle;
    /// Tests: called with each window the dialog opens over itself (the Output Options
    /// panel, the report, About: all modal) and its template, once it is up.
    std::function<void(HWND window, int templateId)> shown;
};

class ConverterDialog {
public:
    explicit ConverterDialog(ConverterOptions options);
    ~ConverterDialog();
    ConverterDialog(const ConverterDialog&) = delete;
    ConverterDialog& operator=(const ConverterDialog&) = delete;

    /// The program: shows the dialog until it is closed.
    INT_PTR RunModal(HINSTANCE instance);
    /// Tests: the dialog, modeless; the caller's loop passes messages through IsDialogMessage.
    HWND CreateModeless(HINSTANCE instance);

    bool running() const { return running_; }
    HWND window() const { return hwnd_; }
    /// Frames the last run wrote.
    long framesWritten() const { return framesWritten_; }
    /// The picture the view shows (empty before the first frame).
    const FramePixels& shownPicture() const { return *picture_; }
    /// The frame view: its zoom, scroll offsets and readout.
    const FrameView& frameView() const;
    /// The whole line of the strip (where it shows, a long one is shortened at word ends).
    const std::string& stripText() const { return strip_; }
    /// The tooltip of item `id` (the strip, the options line); "" for none.
    std::string ToolTip(int id) const;
    /// 0 idle (gray), 1 running (blue), 2 clean (green), 3 failures or no data (amber), 4 stopped (red).
    int light() const { return light_; }
    /// The output options the next run takes.
    const OutputSettings& outputSettings() const { return output_; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    /// Keeps the template's places and size, from which the items grow and move.
    void RememberTemplate();
    /// The tooltips of the lines cut short (the strip, the options line).
    void AddToolTips();
    void OnCommand(int id, int code);
    void StartRun(const std::string& folder);
    void EditOutputOptions();
    void ShowReport();
    void ShowAbout();
    std::function<void(HWND)> Shown(int templateId) const;
    /// The run's snapshot changed: draws it; at kEnd, how the run ended.
    void OnRunChanged(present::RunChange change);
    /// The run's plan found names that clash: offers other names, and starts again under
    /// them when the user takes the offer.
    void OnClashes();
    void SetRunning(bool running);
    void Close();
    int CheckedKind() const;
    /// The strip says `text`; `line` is its part without the pace, shown alone when the
    /// whole does not fit.
    void SetStrip(const std::string& text, const std::string& line = {});
    /// The strip and the options line as they fit now, their whole lines as tooltips.
    void ShowLines();
    void SetToolTip(int id, const std::string& text);
    /// Moves and sizes the items for the client area now, from their places in the template.
    void Layout();
    void ShowPicture(std::shared_ptr<const FramePixels> picture);
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawProfile(HDC dc, const RECT& r, const present::ProfilePlot& plot, int brightestAt);
    void LoadSettings();
    void SaveSettings();

    ConverterOptions options_;
    HWND hwnd_ = nullptr;
    HHOOK keysHook_ = nullptr;
    HWND toolTips_ = nullptr;
    struct Placed {
        HWND item;
        int id;
        RECT rect;  // in the template's client area
    };
    std::vector<Placed> placed_;  // the items where the template puts them
    SIZE templateClient_{};       // the template's client area
    SIZE leastWindow_{};          // the template's window: the least size it takes
    std::string strip_;           // the strip's whole line
    std::string stripLine_;       // the same without the pace
    bool modal_ = false;
    bool closeAfterRun_ = false;
    bool startAgain_ = false;  // the run ends unconverted to start again under the names offered
    std::unique_ptr<DialogRun> run_;
    bool running_ = false;
    int kind_ = 0;  // as loaded from the settings, until the dialog's radios hold it
    std::string folder_;      // the last run's
    std::string lastFolder_;  // where the picker opens
    OutputSettings output_;   // for the next run
    OutputSettings runOutput_;  // the last run's, for its report
    int light_ = 0;  // 0 idle, 1 running, 2 clean, 3 failures, 4 stopped
    std::shared_ptr<const FramePixels> picture_ = std::make_shared<const FramePixels>();
    present::ProfilePlot rowPlot_, columnPlot_;  // picture_'s profiles as plotted
    std::vector<std::string> reportLines_;
    long framesWritten_ = 0;
};

/// Window message the run posts; its WPARAM is the present::RunChange.
inline constexpr UINT kRunEventMessage = WM_APP + 1;
/// Posted to itself at the start when a folder was given to convert.
inline constexpr UINT kStartFolderMessage = WM_APP + 2;
inline constexpr UINT kClashMessage = WM_APP + 3;

}  // namespace qf::win
