// The converter's frame view (item 1002, window class "QuillfenFrameView"): the frame just
// written, fitted to the view at first and growing with the window; the wheel zooms about
// the pointer, the dialog's Ctrl + / Ctrl - / Ctrl+1 / Ctrl+0 (and the view's context menu)
// zoom about its centre, show it 1:1 and fit it again; the scroll bars or a drag move a
// frame larger than the view. The line under it tells the pixel under the pointer. The
// zoom's arithmetic and the readout's words are the presentation layer's
// (present/frame_zoom.h), as in the Qt dialog; this maps the window's messages onto them.
#pragma once

#include "platform/windows_api.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "present/frame_pixels.h"
#include "present/frame_zoom.h"

namespace qf::win {

inline constexpr wchar_t kFrameViewClass[] = L"QuillfenFrameView";

class FrameView {
public:
    /// Registers the window class with `instance`, before a template that holds the view.
    static void Register(HINSTANCE instance);
    /// The view of `window`; null for a window of another class.
    static FrameView* Of(HWND window);

    /// Shows `picture` (null or empty: none) until the next one, at the zoom the user chose.
    void ShowPicture(std::shared_ptr<const FramePixels> picture);
    /// The static that shows the readout ("x 312, y 40: 3071"; empty off the frame).
    void SetReadoutLabel(HWND label);
    const std::string& readout() const { return readout_; }
    const present::FrameZoom& zoom() const { return zoom_; }
    int scrollX() const { return scrollX_; }
    int scrollY() const { return scrollY_; }

    void ZoomIn();
    void ZoomOut();
    void ActualSize();
    void FitToView();

private:
    explicit FrameView(HWND hwnd) : hwnd_(hwnd) {}
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    /// After a change of zoom or of the view's size: the scroll bars' ranges and positions.
    void Relayout();
    /// Zooms by `change` (false: no change) keeping the frame position under view point
    /// (x, y) where it is.
    void ZoomAbout(double x, double y, bool (*change)(present::FrameZoom&));
    void ZoomAboutCentre(bool (*change)(present::FrameZoom&));
    void ScrollTo(int x, int y);
    void OnScroll(int bar, int code);
    void OnMouseMove(POINT at, bool leftDown);
    void ShowContextMenu(LPARAM at);
    void Paint(HDC dc, const RECT& client) const;
    void ShowReadout();

    HWND hwnd_;
    HWND readoutLabel_ = nullptr;
    std::shared_ptr<const FramePixels> picture_;
    std::vector<std::uint8_t> dib_;  // the picture bottom-up, rows padded to 4 bytes, blue-green-red
    present::FrameZoom zoom_;
    int scrollX_ = 0, scrollY_ = 0;
    bool relayingOut_ = false, relayoutAgain_ = false;
    std::optional<POINT> pointer_;   // in the client area, while it is over it
    std::optional<POINT> dragFrom_;  // while the left button drags the frame
    std::string readout_;
};

}  // namespace qf::win
