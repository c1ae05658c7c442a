#include "app_win/frame_view.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <cmath>

#include "app_win/dialog_services.h"
#include "app_win/resource.h"

namespace qf::win {
namespace {

bool StepIn(present::FrameZoom& z) { return z.ZoomIn(); }
bool StepOut(present::FrameZoom& z) { return z.ZoomOut(); }
bool OneToOne(present::FrameZoom& z) {
    z.ActualSize();
    return true;
}

}  // namespace

void FrameView::Register(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kFrameViewClass, &existing)) return;
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.lpfnWndProc = Proc;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));  // IDC_CROSS: a pixel is pointed at
    c.lpszClassName = kFrameViewClass;
    RegisterClassExW(&c);
}

FrameView* FrameView::Of(HWND window) {
    wchar_t name[64] = {};
    if (!window || !GetClassNameW(window, name, 64) || std::wstring(name) != kFrameViewClass) return nullptr;
    return reinterpret_cast<FrameView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK FrameView::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new FrameView(hwnd)));
    auto* self = reinterpret_cast<FrameView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete self;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {  // no exception crosses into the system's dispatch
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception&) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT FrameView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Relayout();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // painted whole, off screen first
        case WM_PAINT: {
            PAINTSTRUCT ps;
            const HDC dc = BeginPaint(hwnd_, &ps);
            RECT client;
            GetClientRect(hwnd_, &client);
            const HDC memory = CreateCompatibleDC(dc);
            const HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom));
            const HGDIOBJ old = SelectObject(memory, bitmap);
            Paint(memory, client);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            OnScroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL: {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(hwnd_, &at);
            // A step a turn of any size, as the Qt view takes them.
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if (delta > 0) ZoomAbout(at.x, at.y, StepIn);
            if (delta < 0) ZoomAbout(at.x, at.y, StepOut);
            return 0;
        }
        case WM_LBUTTONDOWN:
            dragFrom_ = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            SetCapture(hwnd_);
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            dragFrom_.reset();
            if (message == WM_LBUTTONUP && GetCapture() == hwnd_) ReleaseCapture();
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, (wParam & MK_LBUTTON) != 0);
            return 0;
        case WM_MOUSELEAVE:
            pointer_.reset();
            ShowReadout();
            return 0;
        case WM_CONTEXTMENU:
            ShowContextMenu(lParam);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

void FrameView::ShowPicture(std::shared_ptr<const FramePixels> picture) {
    picture_ = picture && !picture->empty() ? std::move(picture) : nullptr;
    dib_.clear();
    if (picture_) {
        // A bottom-up DIB, rows padded to 4 bytes, blue-green-red; gray through a gray table.
        const FramePixels& p = *picture_;
        const std::size_t stride = (static_cast<std::size_t>(p.width) * p.channels + 3) & ~std::size_t{3};
        dib_.assign(stride * p.height, 0);
        for (int y = 0; y < p.height; ++y) {
            const std::uint8_t* in = p.pixels.data() + static_cast<std::size_t>(y) * p.width * p.channels;
            std::uint8_t* out = dib_.data() + stride * (p.height - 1 - y);
            if (p.channels != 3) {
                std::memcpy(out, in, static_cast<std::size_t>(p.width));
                continue;
            }
            for (int x = 0; x < p.width; ++x, in += 3) out[3 * x] = in[2], out[3 * x + 1] = in[1], out[3 * x + 2] = in[0];
        }
    }
    zoom_.SetFrame(picture_ ? picture_->frameWidth : 0, picture_ ? picture_->frameHeight : 0);
    Relayout();
    InvalidateRect(hwnd_, nullptr, FALSE);
    ShowReadout();
}

void FrameView::SetReadoutLabel(HWND label) {
    readoutLabel_ = label;
    ShowReadout();
}

void FrameView::Relayout() {
    // Showing or hiding a scroll bar resizes the client area, which comes back here: the
    // outer call goes round again until the bars hold still (twice at most).
    if (relayingOut_) {
        relayoutAgain_ = true;
        return;
    }
    relayingOut_ = true;
    do {
        relayoutAgain_ = false;
        RECT client;
        GetClientRect(hwnd_, &client);
        zoom_.SetView(client.right, client.bottom);
        scrollX_ = std::clamp(scrollX_, 0, zoom_.maxScrollX());
        scrollY_ = std::clamp(scrollY_, 0, zoom_.maxScrollY());
        for (const auto& [bar, max, page, pos] : {std::tuple{SB_HORZ, zoom_.maxScrollX(), client.right, scrollX_},
                                                  std::tuple{SB_VERT, zoom_.maxScrollY(), client.bottom, scrollY_}}) {
            // A range no larger than the page hides the bar.
            SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, max + std::max(0, int(page)) - 1,
                            static_cast<UINT>(std::max(0, int(page))), pos, 0};
            if (max == 0) info.nMax = 0, info.nPage = 1;
            SetScrollInfo(hwnd_, bar, &info, TRUE);
        }
    } while (relayoutAgain_);
    relayingOut_ = false;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void FrameView::ScrollTo(int x, int y) {
    scrollX_ = std::clamp(x, 0, zoom_.maxScrollX());
    scrollY_ = std::clamp(y, 0, zoom_.maxScrollY());
    SetScrollPos(hwnd_, SB_HORZ, scrollX_, TRUE);
    SetScrollPos(hwnd_, SB_VERT, scrollY_, TRUE);
    InvalidateRect(hwnd_, nullptr, FALSE);
    ShowReadout();
}

void FrameView::OnScroll(int bar, int code) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(hwnd_, bar, &info);
    const int page = static_cast<int>(info.nPage), line = std::max(1, page / 20);
    int pos = info.nPos;
    switch (code) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = info.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = info.nMax; break;
        default: return;
    }
    if (bar == SB_HORZ) ScrollTo(pos, scrollY_);
    else ScrollTo(scrollX_, pos);
}

void FrameView::ZoomAbout(double x, double y, bool (*change)(present::FrameZoom&)) {
    const present::FramePoint under = zoom_.FrameAt(x, y, scrollX_, scrollY_);
    if (!change(zoom_)) return;
    Relayout();
    const present::FramePoint scroll = zoom_.ScrollKeeping(under, x, y);
    ScrollTo(static_cast<int>(scroll.x), static_cast<int>(scroll.y));
}

// The keys and the menu zoom about the view's centre.
void FrameView::ZoomAboutCentre(bool (*change)(present::FrameZoom&)) {
    RECT client;
    GetClientRect(hwnd_, &client);
    ZoomAbout(client.right / 2.0, client.bottom / 2.0, change);
}

void FrameView::ZoomIn() { ZoomAboutCentre(StepIn); }
void FrameView::ZoomOut() { ZoomAboutCentre(StepOut); }
void FrameView::ActualSize() { ZoomAboutCentre(OneToOne); }

void FrameView::FitToView() {
    zoom_.Fit();
    Relayout();
    ScrollTo(0, 0);
}

void FrameView::OnMouseMove(POINT at, bool leftDown) {
    if (!pointer_) {
        TRACKMOUSEEVENT leave{};
        leave.cbSize = sizeof leave;
        leave.dwFlags = TME_LEAVE;
        leave.hwndTrack = hwnd_;
        TrackMouseEvent(&leave);
    }
    pointer_ = at;
    if (dragFrom_ && leftDown) {
        // A drag moves the frame with the pointer.
        const POINT from = *dragFrom_;
        dragFrom_ = at;
        ScrollTo(scrollX_ - (at.x - from.x), scrollY_ - (at.y - from.y));
        return;
    }
    ShowReadout();
}

void FrameView::ShowContextMenu(LPARAM at) {
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, IDC_ZOOM_IN, L"Zoom &In\tCtrl++");
    AppendMenuW(menu, MF_STRING, IDC_ZOOM_OUT, L"Zoom &Out\tCtrl+-");
    AppendMenuW(menu, MF_STRING, IDC_ZOOM_ACTUAL, L"&Actual Size (1:1)\tCtrl+1");
    AppendMenuW(menu, MF_STRING, IDC_ZOOM_FIT, L"&Fit to Window\tCtrl+0");
    POINT p{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (p.x == -1 && p.y == -1) {  // from the keyboard: at the view's corner
        p = POINT{0, 0};
        ClientToScreen(hwnd_, &p);
    }
    const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    switch (chosen) {
        case IDC_ZOOM_IN: ZoomIn(); break;
        case IDC_ZOOM_OUT: ZoomOut(); break;
        case IDC_ZOOM_ACTUAL: ActualSize(); break;
        case IDC_ZOOM_FIT: FitToView(); break;
        default: break;
    }
}

void FrameView::Paint(HDC dc, const RECT& client) const {
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (!picture_) return;
    const FramePixels& p = *picture_;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = p.width;
    info.header.biHeight = p.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(p.channels == 3 ? 24 : 8);
    info.header.biCompression = BI_RGB;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        info.colours[i] = RGBQUAD{v, v, v, 0};
    }
    // Only the picture's pixels that reach the view are stretched (a frame at 32:1 would be
    // thousands of pixels a side), whole pixels, so that each lands where the zoom says.
    const double sx = double(zoom_.shownWidth()) / p.width, sy = double(zoom_.shownHeight()) / p.height;
    const double ox = zoom_.OriginX(scrollX_), oy = zoom_.OriginY(scrollY_);
    const int x0 = std::clamp(static_cast<int>(std::floor(-ox / sx)), 0, p.width);
    const int x1 = std::clamp(static_cast<int>(std::ceil((client.right - ox) / sx)), 0, p.width);
    const int y0 = std::clamp(static_cast<int>(std::floor(-oy / sy)), 0, p.height);
    const int y1 = std::clamp(static_cast<int>(std::ceil((client.bottom - oy) / sy)), 0, p.height);
    if (x1 <= x0 || y1 <= y0) return;
    const int left = static_cast<int>(std::lround(ox + x0 * sx)), top = static_cast<int>(std::lround(oy + y0 * sy));
    const int right = static_cast<int>(std::lround(ox + x1 * sx)), bottom = static_cast<int>(std::lround(oy + y1 * sy));
    // Enlarged, each sample stays a sharp block; made smaller, the samples are averaged.
    const bool enlarged = sx >= 1.0;
    SetStretchBltMode(dc, enlarged ? COLORONCOLOR : HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, left, top, std::max(1, right - left), std::max(1, bottom - top), x0, p.height - y1, x1 - x0,
                  y1 - y0, dib_.data(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
}

void FrameView::ShowReadout() {
    std::string text;
    if (pointer_ && picture_) {
        if (const auto pixel = zoom_.PixelAt(pointer_->x, pointer_->y, scrollX_, scrollY_)) {
            text = present::PixelReadout(*picture_, static_cast<int>(pixel->x), static_cast<int>(pixel->y));
        }
    }
    if (text == readout_) return;
    readout_ = text;
    if (readoutLabel_) SetWindowTextW(readoutLabel_, Wide(readout_).c_str());
}

}  // namespace qf::win
