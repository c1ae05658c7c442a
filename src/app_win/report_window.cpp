#include "app_win/report_window.h"

#include "app_win/resource.h"

namespace qf::win {

void ReportWindow::RunModal(HWND owner, const std::function<void(HWND)>& shown) {
    shown_ = shown;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_REPORT), owner, Proc, reinterpret_cast<LPARAM>(this));
}

std::string ReportWindow::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\r\n";
    return text;
}

INT_PTR CALLBACK ReportWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<ReportWindow*>(lParam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<ReportWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {  // no exception crosses into the system's dispatch
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        self->services_.ShowMessage(hwnd, "Report", e.what(), true);
        return TRUE;
    }
}

INT_PTR ReportWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT r;
            GetWindowRect(hwnd_, &r);
            minimum_ = SIZE{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
            // A fixed-width font keeps the columns of the lines (sizes, frame numbers) aligned.
            SendDlgItemMessageW(hwnd_, IDC_REPORT_TEXT, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
            SetDlgItemTextW(hwnd_, IDC_REPORT_TEXT, Wide(Text()).c_str());
            Layout();
            SetFocus(GetDlgItem(hwnd_, IDC_REPORT_TEXT));
            if (shown_) PostMessageW(hwnd_, WM_APP, 0, 0);  // once the window is up and its loop runs
            return FALSE;  // the focus was set
        }
        case WM_APP:
            if (shown_) shown_(hwnd_);
            return TRUE;
        case WM_SIZE:
            Layout();
            return TRUE;
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimum_.cx, minimum_.cy};
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_REPORT_COPY: Copy(); return TRUE;
                case IDC_REPORT_SAVE: Save(); return TRUE;
                case IDOK:
                case IDCANCEL: EndDialog(hwnd_, IDCANCEL); return TRUE;
                default: return FALSE;
            }
        default:
            return FALSE;
    }
}

// The text fills the window above a row of buttons: Copy and Save on the left, Close on the right.
void ReportWindow::Layout() {
    RECT client;
    GetClientRect(hwnd_, &client);
    RECT unit{4, 14, 50, 4};  // margin, button height, button width, gap in dialog units
    MapDialogRect(hwnd_, &unit);
    const int margin = unit.left, h = unit.top, w = unit.right, gap = unit.bottom;
    const int buttonsTop = client.bottom - margin - h;
    MoveWindow(GetDlgItem(hwnd_, IDC_REPORT_TEXT), margin, margin, client.right - 2 * margin,
               buttonsTop - gap - margin, TRUE);
    MoveWindow(GetDlgItem(hwnd_, IDC_REPORT_COPY), margin, buttonsTop, w, h, TRUE);
    MoveWindow(GetDlgItem(hwnd_, IDC_REPORT_SAVE), margin + w + gap, buttonsTop, w, h, TRUE);
    MoveWindow(GetDlgItem(hwnd_, IDCANCEL), client.right - margin - w, buttonsTop, w, h, TRUE);
}

// The selected text, or every line when nothing is selected.
void ReportWindow::Copy() {
    const HWND edit = GetDlgItem(hwnd_, IDC_REPORT_TEXT);
    DWORD from = 0, to = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    std::wstring text = Wide(Text());
    if (to > from && to <= text.size()) text = text.substr(from, to - from);
    if (!OpenClipboard(hwnd_)) return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    }
    CloseClipboard();
}

void ReportWindow::Save() {
    const std::string path = services_.PickSaveFile(hwnd_, "report.txt");
    if (path.empty()) return;
    const std::string text = Text();
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) {
        services_.ShowMessage(hwnd_, "Report", path + ": the report could not be saved: " + SystemMessage(error), true);
    }
}

}  // namespace qf::win
