#include "app_win/converter_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <mutex>

#include "app_win/output_options_panel.h"
#include "app_win/report_window.h"
#include "app_win/resource.h"
#include "present/clash_offer.h"
#include "present/line_fit.h"
#include "present/profile_plot.h"

namespace qf::win {
namespace {

// The About box (template 100).
INT_PTR CALLBACK AboutProc(HWND about, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(about, DWLP_USER, lParam);
        if (lParam) PostMessageW(about, WM_APP, 0, 0);  // once it is up and its loop runs
        return TRUE;
    }
    if (message == WM_APP) {
        if (auto* shown = reinterpret_cast<const std::function<void(HWND)>*>(GetWindowLongPtrW(about, DWLP_USER))) (*shown)(about);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(about, 0);
        return TRUE;
    }
    return FALSE;
}

// The registry's values under the dialog's key, each read with a fallback.
std::wstring ReadString(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) return {};
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::optional<DWORD> ReadNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

void WriteString(HKEY key, const wchar_t* name, const std::string& utf8) {
    const std::wstring value = Wide(utf8);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void WriteNumber(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The output options' plain values, each under its own name: a new choice is one line here.
struct FlagValue {
    const wchar_t* name;
    bool OutputSettings::*field;
};
constexpr FlagValue kFlagValues[] = {
    {L"Stack", &OutputSettings::stack},         {L"Predictor", &OutputSettings::predictor},
    {L"Ome", &OutputSettings::ome},             {L"BigTiff", &OutputSettings::bigTiff},
    {L"Recursive", &OutputSettings::recursive}, {L"Mirror", &OutputSettings::mirror},
    {L"OnlyOrx", &OutputSettings::onlyOrx},     {L"Salvage", &OutputSettings::salvage},
    {L"KeepWatching", &OutputSettings::keepWatching},
};
struct TextValue {
    const wchar_t* name;
    std::string OutputSettings::*field;
};
constexpr TextValue kTextValues[] = {
    {L"PixelSize", &OutputSettings::pixelSize}, {L"OutputFolder", &OutputSettings::outputDir},
    {L"NamePattern", &OutputSettings::namePattern}, {L"Frames", &OutputSettings::frames},
    {L"Exclude", &OutputSettings::exclude},
};

// The output options as their own values ("Layout", "Compression", ...): a value that is
// missing or no longer understood falls back to the default, never fails a start.
OutputSettings ReadOutputSettings(HKEY key) {
    OutputSettings s;
    if (auto layout = ParseLayout(Utf8(ReadString(key, L"Layout"))); layout.ok()) s.layout = layout.value();
    if (auto compression = ParseCompression(Utf8(ReadString(key, L"Compression"))); compression.ok()) {
        s.compression = compression.value();
    }
    s.level = present::KeptLevel(s.compression, ReadNumber(key, L"Level").value_or(0));
    const DWORD bits = ReadNumber(key, L"InputBits").value_or(16);
    s.inputBits = bits >= 8 && bits <= 16 ? static_cast<int>(bits) : 16;
    for (const FlagValue& v : kFlagValues) s.*v.field = ReadNumber(key, v.name).value_or(0) != 0;
    for (const TextValue& v : kTextValues) s.*v.field = Utf8(ReadString(key, v.name));
    return s;
}

void WriteOutputSettings(HKEY key, const OutputSettings& s) {
    WriteString(key, L"Layout", LayoutName(s.layout));
    WriteString(key, L"Compression", CompressionName(s.compression));
    WriteNumber(key, L"Level", static_cast<DWORD>(s.level));
    WriteNumber(key, L"InputBits", static_cast<DWORD>(s.inputBits));
    for (const FlagValue& v : kFlagValues) WriteNumber(key, v.name, s.*v.field);
    for (const TextValue& v : kTextValues) WriteString(key, v.name, s.*v.field);
}

// The dialog's keys, anywhere in it: F1 opens About; Ctrl with +, -, 1 and 0 zoom the frame
// view, as the Qt dialog's shortcuts. The thread's messages are looked at as they are taken
// from the queue, by the dialog's own loop and any other, before a control has them.
thread_local HWND keysWindow = nullptr;

int KeyCommand(WPARAM key) {
    if (key == VK_F1) return IDC_ABOUT;
    if (GetKeyState(VK_CONTROL) >= 0) return 0;
    switch (key) {
        case VK_OEM_PLUS:  // "=" and "+" share it on most layouts
        case VK_ADD: return IDC_ZOOM_IN;
        case VK_OEM_MINUS:
        case VK_SUBTRACT: return IDC_ZOOM_OUT;
        case '1':
        case VK_NUMPAD1: return IDC_ZOOM_ACTUAL;
        case '0':
        case VK_NUMPAD0: return IDC_ZOOM_FIT;
        default: return 0;
    }
}

LRESULT CALLBACK KeysHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_KEYDOWN && keysWindow &&
        IsWindowEnabled(keysWindow) && (msg->hwnd == keysWindow || IsChild(keysWindow, msg->hwnd))) {
        if (const int command = KeyCommand(msg->wParam)) {
            msg->message = WM_NULL;
            PostMessageW(keysWindow, WM_COMMAND, static_cast<WPARAM>(command), 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

ConverterDialog::ConverterDialog(ConverterOptions options) : options_(std::move(options)) {}

ConverterDialog::~ConverterDialog() {
    run_.reset();  // stops a run that still goes and waits for it
    if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

INT_PTR ConverterDialog::RunModal(HINSTANCE instance) {
    modal_ = true;
    FrameView::Register(instance);
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONVERTER), nullptr, Proc, reinterpret_cast<LPARAM>(this));
}

HWND ConverterDialog::CreateModeless(HINSTANCE instance) {
    modal_ = false;
    FrameView::Register(instance);
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
        case kStartFolderMessage:
            if (!running()) StartRun(options_.startFolder);
            return TRUE;
        case WM_DRAWITEM:
            Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) Layout();
            return TRUE;
        case WM_GETMINMAXINFO:
            if (leastWindow_.cx > 0) {
                reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{leastWindow_.cx, leastWindow_.cy};
            }
            return TRUE;
        case WM_MOUSEWHEEL: {
            // The wheel goes to the focus, a button: over the frame view it zooms there.
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const HWND view = GetDlgItem(hwnd_, IDC_PICTURE);
            RECT r;
            GetWindowRect(view, &r);
            if (PtInRect(&r, at)) SendMessageW(view, WM_MOUSEWHEEL, wParam, lParam);
            return TRUE;
        }
        case kClashMessage:
            OnClashes();
            return TRUE;
        case kRunEventMessage:
            OnRunChanged(static_cast<present::RunChange>(wParam));
            return TRUE;
        case WM_DESTROY:
            if (keysHook_) UnhookWindowsHookEx(keysHook_);
            if (keysWindow == hwnd_) keysWindow = nullptr;
            keysHook_ = nullptr;
            if (toolTips_) DestroyWindow(toolTips_);
            toolTips_ = nullptr;
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
    FrameView::Of(GetDlgItem(hwnd_, IDC_PICTURE))->SetReadoutLabel(GetDlgItem(hwnd_, IDC_READOUT));
    RememberTemplate();
    AddToolTips();
    strip_ = "Ready.";
    ShowLines();
    // Enter at the start picks a folder.
    SetFocus(GetDlgItem(hwnd_, IDC_CHOOSE_DIRECTORY));
    SendMessageW(hwnd_, DM_SETDEFID, IDC_CHOOSE_DIRECTORY, 0);
    if (!options_.startFolder.empty()) PostMessageW(hwnd_, kStartFolderMessage, 0, 0);
    keysWindow = hwnd_;
    keysHook_ = SetWindowsHookExW(WH_GETMESSAGE, KeysHook, nullptr, GetCurrentThreadId());
}

void ConverterDialog::RememberTemplate() {
    // The template's places and size, from which the items grow and move.
    RECT client, window;
    GetClientRect(hwnd_, &client);
    GetWindowRect(hwnd_, &window);
    templateClient_ = SIZE{client.right, client.bottom};
    leastWindow_ = SIZE{window.right - window.left, window.bottom - window.top};
    for (HWND item = GetWindow(hwnd_, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(item, &r);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
        placed_.push_back(Placed{item, GetDlgCtrlID(item), r});
    }
}

void ConverterDialog::AddToolTips() {
    // Lines cut short show their whole as a tooltip.
    toolTips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolTips_, TTM_SETMAXTIPWIDTH, 0, 600);
    for (int id : {IDC_STRIP, IDC_OPTIONS_SUMMARY}) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd_, id));
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

std::function<void(HWND)> ConverterDialog::Shown(int templateId) const {
    if (!options_.shown) return nullptr;
    return [shown = options_.shown, templateId](HWND window) { shown(window, templateId); };
}

void ConverterDialog::EditOutputOptions() {
    if (running()) return;
    OutputOptionsPanel panel(output_, *options_.services);
    if (!panel.RunModal(hwnd_, Shown(IDD_OUTPUT_OPTIONS))) return;
    output_ = panel.settings();
    ShowLines();
    SaveSettings();
}

void ConverterDialog::ShowReport() {
    std::vector<std::string> lines = reportLines_;
    lines.insert(lines.begin(), OutputReportLine(runOutput_));
    ReportWindow report(std::move(lines), *options_.services);
    report.RunModal(hwnd_, Shown(IDD_REPORT));
}

void ConverterDialog::ShowAbout() {
    const std::function<void(HWND)> shown = Shown(IDD_ABOUT);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), hwnd_, AboutProc,
                    shown ? reinterpret_cast<LPARAM>(&shown) : 0);
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
                const std::string folder = options_.services->PickFolder(hwnd_, lastFolder_);
                if (!folder.empty()) StartRun(folder);
            }
            break;
        case IDC_OUTPUT_OPTIONS:
            EditOutputOptions();
            break;
        case IDC_OPEN_FOLDER:
            if (!folder_.empty()) options_.services->OpenFolder(hwnd_, folder_);
            break;
        case IDC_SHOW_REPORT:
            if (!folder_.empty()) ShowReport();
            break;
        case IDC_ABOUT:
            ShowAbout();
            break;
        case IDC_ZOOM_IN:
        case IDC_ZOOM_OUT:
        case IDC_ZOOM_ACTUAL:
        case IDC_ZOOM_FIT: {
            FrameView& view = *FrameView::Of(GetDlgItem(hwnd_, IDC_PICTURE));
            if (id == IDC_ZOOM_IN) view.ZoomIn();
            if (id == IDC_ZOOM_OUT) view.ZoomOut();
            if (id == IDC_ZOOM_ACTUAL) view.ActualSize();
            if (id == IDC_ZOOM_FIT) view.FitToView();
            break;
        }
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
    RunOptions options;
    options.settle = options_.settle;
    options.jobs = options_.jobs;
    if (const std::string problem = ApplyOutputSettings(output_, options); !problem.empty()) {
        options_.services->ShowMessage(hwnd_, "Quillfen", "Output options: " + problem, true);
        return;
    }
    folder_ = folder;
    lastFolder_ = folder;
    runOutput_ = output_;
    SaveSettings();
    if (!run_) {
        const HWND hwnd = hwnd_;
        run_ = std::make_unique<DialogRun>(options_.pause, [hwnd](present::RunChange change) {
            PostMessageW(hwnd, kRunEventMessage, static_cast<WPARAM>(change), 0);
        });
        if (options_.watchSettle) run_->SetWatchTimes(*options_.watchSettle, std::chrono::minutes(10));
        run_->AskAboutClashes([hwnd] { PostMessageW(hwnd, kClashMessage, 0, 0); });
    }
    SetRunning(true);
    SetStrip("Reading the folder...");
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    run_->Start(folder, CheckedKind(), options, output_.keepWatching);
}

void ConverterDialog::SetRunning(bool running) {
    running_ = running;
    light_ = running ? 1 : light_;
    // Disabling the button that has the focus would leave the dialog without one (and
    // Escape without a target): the focus goes to Cancel first.
    const HWND focus = GetFocus();
    for (int id : {IDOK, IDC_CHOOSE_DIRECTORY, IDC_OPEN_FOLDER, IDC_SHOW_REPORT, IDC_OUTPUT_OPTIONS}) {
        if (running && focus == GetDlgItem(hwnd_, id)) SetFocus(GetDlgItem(hwnd_, IDCANCEL));
    }
    EnableWindow(GetDlgItem(hwnd_, IDOK), !running);
    EnableWindow(GetDlgItem(hwnd_, IDC_CHOOSE_DIRECTORY), !running);
    EnableWindow(GetDlgItem(hwnd_, IDC_OUTPUT_OPTIONS), !running);
    EnableWindow(GetDlgItem(hwnd_, IDC_OPEN_FOLDER), !running && !folder_.empty());
    EnableWindow(GetDlgItem(hwnd_, IDC_SHOW_REPORT), !running && !folder_.empty());
    InvalidateRect(GetDlgItem(hwnd_, IDC_LIGHT), nullptr, TRUE);
}

void ConverterDialog::OnRunChanged(present::RunChange change) {
    if (!run_) return;
    const present::RunSnapshot run = run_->Snapshot();
    if (run.picture && run.picture->pixels != picture_) {
        rowPlot_ = run.picture->row;
        columnPlot_ = run.picture->column;
        ShowPicture(run.picture->pixels);
    }
    SetStrip(run.strip, run.line);
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(std::clamp(run.fraction, 0.0, 1.0) * 1000), 0);
    if (change != present::RunChange::kEnd) return;
    run_->Join();
    static constexpr int kLights[] = {1, 2, 3, 4};  // as present::RunState counts them
    light_ = kLights[static_cast<int>(run.state)];
    reportLines_ = run.reportLines;
    framesWritten_ = run.framesWritten;
    if (!run.picture) {  // no frame of this run: no picture of an earlier one
        rowPlot_ = columnPlot_ = present::ProfilePlot{};
        ShowPicture(std::make_shared<const FramePixels>());
    }
    SetRunning(false);
    if (closeAfterRun_) {
        Close();
        return;
    }
    if (startAgain_) {
        startAgain_ = false;
        StartRun(folder_);
        return;
    }
    if (!run.endMessage.empty()) options_.services->ShowMessage(hwnd_, "Quillfen", run.endMessage, true);
}

void ConverterDialog::OnClashes() {
    if (!run_) return;
    const std::optional<NameClashes> clashes = run_->PendingClashes();
    if (!clashes) return;  // a stop ended the wait first
    const std::optional<present::ClashOffer> offer = present::OfferOtherNames(*clashes, output_);
    if (!offer || !options_.services->AskYesNo(hwnd_, "Quillfen", offer->question)) {
        run_->AnswerClashes(true);
        return;
    }
    output_ = offer->offered;
    SaveSettings();
    ShowLines();
    startAgain_ = true;
    run_->AnswerClashes(false);
}

void ConverterDialog::ShowPicture(std::shared_ptr<const FramePixels> picture) {
    picture_ = std::move(picture);
    FrameView::Of(GetDlgItem(hwnd_, IDC_PICTURE))->ShowPicture(picture_);
    for (int id : {IDC_ROW_PROFILE, IDC_COLUMN_PROFILE}) InvalidateRect(GetDlgItem(hwnd_, id), nullptr, FALSE);
}

const FrameView& ConverterDialog::frameView() const { return *FrameView::Of(GetDlgItem(hwnd_, IDC_PICTURE)); }

void ConverterDialog::SetStrip(const std::string& text, const std::string& line) {
    strip_ = text;
    stripLine_ = line.empty() ? text : line;
    ShowLines();
}

namespace {

// `text` as it fits in `item`'s width in its font, cut only at word ends.
std::string Fitted(HWND item, const std::string& text, bool keepEnd) {
    RECT r;
    GetClientRect(item, &r);
    const HDC dc = GetDC(item);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)));
    const auto widthOf = [dc](const std::string& line) {
        const std::wstring wide = Wide(line);
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return static_cast<int>(size.cx);
    };
    std::string fitted = present::ElideAtWordEnds(text, widthOf, r.right, keepEnd);
    SelectObject(dc, old);
    ReleaseDC(item, dc);
    return fitted;
}

}  // namespace

// A line longer than its item (a long folder, a summary of failures) is shortened at word
// ends; the strip's whole line is its tooltip when cut, the options line's the full report
// line of the options, as in the Qt dialog.
void ConverterDialog::ShowLines() {
    // Too narrow for the line and its pace: the pace goes first, then the line's middle
    // words, so that the file and the frame stay in view.
    std::string strip = Fitted(GetDlgItem(hwnd_, IDC_STRIP), strip_, true);
    if (strip != strip_ && stripLine_ != strip_) strip = Fitted(GetDlgItem(hwnd_, IDC_STRIP), stripLine_, true);
    SetDlgItemTextW(hwnd_, IDC_STRIP, Wide(strip).c_str());
    SetToolTip(IDC_STRIP, strip == strip_ ? std::string() : strip_);
    const std::string summary = Fitted(GetDlgItem(hwnd_, IDC_OPTIONS_SUMMARY), OutputSummary(output_), false);
    SetDlgItemTextW(hwnd_, IDC_OPTIONS_SUMMARY, Wide(summary).c_str());
    SetToolTip(IDC_OPTIONS_SUMMARY, OutputReportLine(output_));
}

void ConverterDialog::SetToolTip(int id, const std::string& text) {
    if (!toolTips_) return;
    std::wstring wide = Wide(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd_, id));
    tool.lpszText = wide.data();
    SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::string ConverterDialog::ToolTip(int id) const {
    if (!toolTips_) return {};
    std::wstring text(4096, L'\0');
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd_, id));
    tool.lpszText = text.data();
    SendMessageW(toolTips_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return Utf8(text);
}

// The frame view takes what the window grows by; the profiles share its width and move down
// with the readout, About, OK and Cancel; the strip widens; the rest moves right, as in the
// Qt dialog.
void ConverterDialog::Layout() {
    if (placed_.empty()) return;  // before the template's places are known
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dx = std::max(0L, client.right - templateClient_.cx), dy = std::max(0L, client.bottom - templateClient_.cy);
    HDWP moves = BeginDeferWindowPos(static_cast<int>(placed_.size()));
    for (const Placed& p : placed_) {
        RECT r = p.rect;
        switch (p.id) {
            case IDC_PICTURE: r.right += dx, r.bottom += dy; break;
            case IDC_STRIP:
            case IDC_PROGRESS: r.right += dx; break;
            case IDC_READOUT: OffsetRect(&r, 0, dy), r.right += dx; break;
            case IDC_ROW_PROFILE: OffsetRect(&r, 0, dy), r.right += dx / 2; break;
            case IDC_COLUMN_PROFILE: OffsetRect(&r, dx / 2, dy), r.right += dx - dx / 2; break;
            case IDC_ABOUT: OffsetRect(&r, 0, dy); break;
            case IDOK:
            case IDCANCEL: OffsetRect(&r, dx, dy); break;
            default: OffsetRect(&r, dx, 0); break;
        }
        if (moves) {
            moves = DeferWindowPos(moves, p.item, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (moves) EndDeferWindowPos(moves);
    ShowLines();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ConverterDialog::Draw(const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    switch (item.CtlID) {
        case IDC_ROW_PROFILE:
            DrawProfile(item.hDC, r, rowPlot_, picture_->brightestX);
            break;
        case IDC_COLUMN_PROFILE:
            DrawProfile(item.hDC, r, columnPlot_, picture_->brightestY);
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

void ConverterDialog::DrawProfile(HDC dc, const RECT& r, const present::ProfilePlot& plot, int brightestAt) {
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    // The axis fits the data, as the run's watch plots it: 0 to 4095 for a 12-bit camera.
    if (plot.plotted.size() < 2) return;
    const std::wstring top = Wide(std::to_string(plot.axisTop));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(96, 96, 96));
    TextOutW(dc, r.left + 3, r.top + 2, top.c_str(), static_cast<int>(top.size()));
    TextOutW(dc, r.left + 3, r.bottom - 16, L"0", 1);
    const int w = r.right - r.left - 4, h = r.bottom - r.top - 4;
    std::vector<POINT> points;
    for (std::size_t i = 0; i < plot.plotted.size(); ++i) {
        points.push_back(POINT{r.left + 2 + static_cast<LONG>(i * static_cast<std::size_t>(w) / (plot.plotted.size() - 1)),
                               r.bottom - 2 - static_cast<LONG>(std::int64_t{plot.plotted[i]} * h / plot.axisTop)});
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
    if (const DWORD kind = ReadNumber(key, L"Kind").value_or(0); kind < 4) kind_ = static_cast<int>(kind);
    lastFolder_ = Utf8(ReadString(key, L"Folder"));
    output_ = ReadOutputSettings(key);
    RegCloseKey(key);
}

void ConverterDialog::SaveSettings() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, options_.settingsKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    WriteNumber(key, L"Kind", static_cast<DWORD>(CheckedKind()));
    WriteString(key, L"Folder", lastFolder_);
    WriteOutputSettings(key, output_);
    RegCloseKey(key);
}

}  // namespace qf::win
