#include "app_win/converter_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "app_win/resource.h"

namespace qf::win {

ConverterDialog::ConverterDialog(ConverterOptions options) : options_(std::move(options)) {}

ConverterDialog::~ConverterDialog() {
    run_.reset();  // stops a run that still goes and waits for it
    if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

INT_PTR ConverterDialog::RunModal(HINSTANCE instance) {
    modal_ = true;
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONVERTER), nullptr, Proc, reinterpret_cast<LPARAM>(this));
}

HWND ConverterDialog::CreateModeless(HINSTANCE instance) {
    modal_ = false;
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_CONVERTER), nullptr, Proc, reinterpret_cast<LPARAM>(this));
    if (hwnd_) ShowWindow(hwnd_, SW_SHOW);
    return hwnd_;
}

INT_PTR CALLBACK ConverterDialog::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<ConverterDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<ConverterDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    // No exception crosses into the system's dispatch.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        self->SetStrip(std::string("Failure: ") + e.what());
        return TRUE;
    }
}

INT_PTR ConverterDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit();
            return FALSE;  // the focus was set
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            Close();
            return TRUE;
        case WM_DRAWITEM:
            Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case kRunEventMessage: {
            std::unique_ptr<RunUpdate> update(reinterpret_cast<RunUpdate*>(lParam));
            OnUpdate(*update);
            return TRUE;
        }
        case WM_DESTROY:
            if (hwnd_) SaveSettings();
            hwnd_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void ConverterDialog::OnInit() {
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUILLFEN));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETRANGE32, 0, 1000);
    LoadSettings();
    CheckRadioButton(hwnd_, IDC_FIRST_RADIO, IDC_FIRST_RADIO + 3, IDC_FIRST_RADIO + kind_);
    // Enter at the start picks a folder.
    SetFocus(GetDlgItem(hwnd_, IDC_CHOOSE_DIRECTORY));
    SendMessageW(hwnd_, DM_SETDEFID, IDC_CHOOSE_DIRECTORY, 0);
}

int ConverterDialog::CheckedKind() const {
    for (int i = 0; i < 4; ++i) {
        if (IsDlgButtonChecked(hwnd_, IDC_FIRST_RADIO + i) == BST_CHECKED) return i;
    }
    return 0;
}

void ConverterDialog::OnCommand(int id, int code) {
    if (id >= IDC_FIRST_RADIO && id < IDC_FIRST_RADIO + 4 && code == BN_CLICKED) {
        if (run_) run_->SetKind(CheckedKind());  // a run takes it from its next data file on
        return;
    }
    switch (id) {
        case IDC_CHOOSE_DIRECTORY:
            if (!running()) {
                const std::string folder = options_.services->PickFolder(hwnd_);
                if (!folder.empty()) StartRun(folder);
            }
            break;
        case IDC_OPEN_FOLDER:
            if (!folder_.empty()) options_.services->OpenFolder(hwnd_, folder_);
            break;
        case IDC_SHOW_REPORT: {
            std::string text;
            for (const std::string& line : reportLines_) text += line + "\n";
            options_.services->ShowMessage(hwnd_, "Report", text, false);
            break;
        }
        case IDC_ABOUT:
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), hwnd_,
                            [](HWND about, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                                if (message == WM_INITDIALOG) return TRUE;
                                if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
                                    EndDialog(about, 0);
                                    return TRUE;
                                }
                                return FALSE;
                            },
                            0);
            break;
        case IDOK:
            if (!running()) Close();
            break;
        case IDCANCEL:  // Cancel or Escape: stops a run after its current frame, else closes
            if (running()) run_->Stop();
            else Close();
            break;
        default:
            break;
    }
}

void ConverterDialog::Close() {
    if (running()) {  // the run stops after its frame; the dialog closes when it has
        closeAfterRun_ = true;
        run_->Stop();
        return;
    }
    SaveSettings();
    if (modal_) EndDialog(hwnd_, IDOK);
    else DestroyWindow(hwnd_);
}

void ConverterDialog::StartRun(const std::string& folder) {
    folder_ = folder;
    picture_ = FramePixels{};
    if (!run_) {
        RunOptions options{options_.pause, options_.settle, options_.jobs};
        const HWND hwnd = hwnd_;
        run_ = std::make_unique<DialogRun>(options, [hwnd](std::unique_ptr<RunUpdate> update) {
            if (PostMessageW(hwnd, kRunEventMessage, 0, reinterpret_cast<LPARAM>(update.get()))) update.release();
        });
    }
    SetRunning(true);
    SetStrip("Reading the folder...");
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    run_->Start(folder, CheckedKind());
}

void ConverterDialog::SetRunning(bool running) {
    running_ = running;
    light_ = running ? 1 : light_;
    // Disabling the button that has the focus would leave the dialog without one (and
    // Escape without a target): the focus goes to Cancel first.
    const HWND focus = GetFocus();
    for (int id : {IDOK, IDC_CHOOSE_DIRECTORY, IDC_OPEN_FOLDER, IDC_SHOW_REPORT}) {
        if (running && focus == GetDlgItem(hwnd_, id)) SetFocus(GetDlgItem(hwnd_, IDCANCEL));
    }
    EnableWindow(GetDlgItem(hwnd_, IDOK), !running);
    EnableWindow(GetDlgItem(hwnd_, IDC_CHOOSE_DIRECTORY), !running);
    EnableWindow(GetDlgItem(hwnd_, IDC_OPEN_FOLDER), !running && !folder_.empty());
    EnableWindow(GetDlgItem(hwnd_, IDC_SHOW_REPORT), !running && !folder_.empty());
    InvalidateRect(GetDlgItem(hwnd_, IDC_LIGHT), nullptr, TRUE);
}

void ConverterDialog::OnUpdate(RunUpdate& update) {
    if (update.type == RunUpdate::kPicture) {
        ShowPicture(std::move(update.picture));
        return;
    }
    SetStrip(update.strip);
    if (update.runPlanned > 0) {
        SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(update.runFrames * 1000 / update.runPlanned), 0);
    }
    if (update.type != RunUpdate::kFinished) return;
    run_->Join();
    light_ = update.light;
    reportLines_ = std::move(update.reportLines);
    framesWritten_ = update.framesWritten;
    SetRunning(false);
    if (closeAfterRun_) {
        Close();
        return;
    }
    if (!update.failureMessage.empty()) options_.services->ShowMessage(hwnd_, "Quillfen", update.failureMessage, true);
}

void ConverterDialog::ShowPicture(FramePixels picture) {
    picture_ = std::move(picture);
    // A bottom-up DIB, rows padded to 4 bytes, blue-green-red; gray through a gray table.
    const int channels = picture_.channels;
    const std::size_t stride = (static_cast<std::size_t>(picture_.width) * channels + 3) & ~std::size_t{3};
    dib_.assign(stride * picture_.height, 0);
    for (int y = 0; y < picture_.height; ++y) {
        const std::uint8_t* in = picture_.pixels.data() + static_cast<std::size_t>(y) * picture_.width * channels;
        std::uint8_t* out = dib_.data() + stride * (picture_.height - 1 - y);
        for (int x = 0; x < picture_.width; ++x, in += channels) {
            if (channels == 3) out[3 * x] = in[2], out[3 * x + 1] = in[1], out[3 * x + 2] = in[0];
            else out[x] = in[0];
        }
    }
    for (int id : {IDC_PICTURE, IDC_ROW_PROFILE, IDC_COLUMN_PROFILE}) InvalidateRect(GetDlgItem(hwnd_, id), nullptr, FALSE);
}

void ConverterDialog::SetStrip(const std::string& text) {
    SetDlgItemTextW(hwnd_, IDC_STRIP, Wide(text).c_str());
}

void ConverterDialog::Draw(const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    switch (item.CtlID) {
        case IDC_PICTURE:
            DrawPicture(item.hDC, r);
            break;
        case IDC_ROW_PROFILE:
            DrawProfile(item.hDC, r, picture_.row, picture_.brightestX);
            break;
        case IDC_COLUMN_PROFILE:
            DrawProfile(item.hDC, r, picture_.column, picture_.brightestY);
            break;
        case IDC_LIGHT: {
            static const COLORREF kColours[] = {RGB(160, 160, 160), RGB(40, 110, 230), RGB(40, 170, 60),
                                                RGB(230, 160, 20), RGB(210, 40, 40)};
            FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
            const HBRUSH brush = CreateSolidBrush(kColours[light_]);
            const HGDIOBJ old = SelectObject(item.hDC, brush);
            const int d = std::min(r.right - r.left, r.bottom - r.top) - 2;
            Ellipse(item.hDC, (r.left + r.right - d) / 2, r.top + 1, (r.left + r.right + d) / 2, r.top + 1 + d);
            SelectObject(item.hDC, old);
            DeleteObject(brush);
            break;
        }
        default:
            break;
    }
}

void ConverterDialog::DrawPicture(HDC dc, const RECT& r) {
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (picture_.empty()) return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = picture_.width;
    info.header.biHeight = picture_.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(picture_.channels == 3 ? 24 : 8);
    info.header.biCompression = BI_RGB;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        info.colours[i] = RGBQUAD{v, v, v, 0};
    }
    // As large as fits, keeping the frame's proportions, centred.
    const int w = r.right - r.left, h = r.bottom - r.top;
    const double scale = std::min(double(w) / picture_.width, double(h) / picture_.height);
    const int dw = std::max(1, int(picture_.width * scale)), dh = std::max(1, int(picture_.height * scale));
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, r.left + (w - dw) / 2, r.top + (h - dh) / 2, dw, dh, 0, 0, picture_.width, picture_.height,
                  dib_.data(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
}

void ConverterDialog::DrawProfile(HDC dc, const RECT& r, const std::vector<std::uint16_t>& values, int brightestAt) {
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    if (values.size() < 2) return;
    const int w = r.right - r.left - 4, h = r.bottom - r.top - 4;
    std::vector<POINT> points;
    for (std::size_t i = 0; i < values.size(); ++i) {
        points.push_back(POINT{r.left + 2 + static_cast<LONG>(i * static_cast<std::size_t>(w) / (values.size() - 1)),
                               r.bottom - 2 - static_cast<LONG>(std::int64_t{values[i]} * h / 65535)});
    }
    const HPEN pen = CreatePen(PS_SOLID, 1, RGB(40, 110, 230));
    const HGDIOBJ old = SelectObject(dc, pen);
    Polyline(dc, points.data(), static_cast<int>(points.size()));
    SelectObject(dc, old);
    DeleteObject(pen);
    if (brightestAt >= 0 && static_cast<std::size_t>(brightestAt) < points.size()) {
        const POINT p = points[static_cast<std::size_t>(brightestAt)];
        Ellipse(dc, p.x - 3, p.y - 3, p.x + 3, p.y + 3);
    }
}

void ConverterDialog::LoadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, options_.settingsKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD kind = 0, size = sizeof kind;
    if (RegQueryValueExW(key, L"Kind", nullptr, nullptr, reinterpret_cast<BYTE*>(&kind), &size) == ERROR_SUCCESS && kind < 4) {
        kind_ = static_cast<int>(kind);
    }
    RegCloseKey(key);
}

void ConverterDialog::SaveSettings() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, options_.settingsKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD kind = static_cast<DWORD>(CheckedKind());
    RegSetValueExW(key, L"Kind", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kind), sizeof kind);
    const std::wstring folder = Wide(folder_);
    RegSetValueExW(key, L"Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

}  // namespace qf::win
