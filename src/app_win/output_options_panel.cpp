#include "app_win/output_options_panel.h"

#include <commctrl.h>

#include <algorithm>

#include "app_win/resource.h"
#include "export/page_encoder.h"

namespace qf::win {
namespace {

std::string FieldText(HWND hwnd, int id) {
    const HWND field = GetDlgItem(hwnd, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

void SetField(HWND hwnd, int id, const std::string& text) { SetDlgItemTextW(hwnd, id, Wide(text).c_str()); }

bool Checked(HWND hwnd, int id) { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }

void Check(HWND hwnd, int id, bool on) { CheckDlgButton(hwnd, id, on ? BST_CHECKED : BST_UNCHECKED); }

int Selected(HWND hwnd, int id) {
    return std::max(0, static_cast<int>(SendDlgItemMessageW(hwnd, id, CB_GETCURSEL, 0, 0)));
}

}  // namespace

bool OutputOptionsPanel::RunModal(HWND owner, const std::function<void(HWND)>& shown) {
    shown_ = shown;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_OUTPUT_OPTIONS), owner, Proc,
                           reinterpret_cast<LPARAM>(this)) == IDOK;
}

INT_PTR CALLBACK OutputOptionsPanel::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<OutputOptionsPanel*>(lParam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<OutputOptionsPanel*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {  // no exception crosses into the system's dispatch
        return self->Handle(message, wParam);
    } catch (const std::exception& e) {
        SetField(hwnd, IDC_OO_PROBLEM, e.what());
        return TRUE;
    }
}

INT_PTR OutputOptionsPanel::Handle(UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        Fill();
        UpdateProblem();
        if (shown_) PostMessageW(hwnd_, WM_APP, 0, 0);  // once the panel is up and its loop runs
        return TRUE;
    }
    if (message == WM_APP && shown_) {
        shown_(hwnd_);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam), code = HIWORD(wParam);
    switch (id) {
        case IDOK:
            if (!UpdateProblem().empty()) return TRUE;  // stays, saying why
            settings_ = Read();
            EndDialog(hwnd_, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(hwnd_, IDCANCEL);
            return TRUE;
        case IDC_OO_BROWSE:
            if (const std::string folder = services_.PickFolder(hwnd_, FieldText(hwnd_, IDC_OO_FOLDER)); !folder.empty()) {
                SetField(hwnd_, IDC_OO_FOLDER, folder);
            }
            return TRUE;
        case IDC_OO_SUGGEST:
            SetField(hwnd_, IDC_OO_PATTERN, kSuggestedPattern);
            return TRUE;
        case IDC_OO_COMPRESSION:
            if (code == CBN_SELCHANGE) {
                UpdateLevel();
                UpdateProblem();
            }
            return TRUE;
        default:
            // Each change of a field says at once whether the choices hold together.
            if (code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE) UpdateProblem();
            return TRUE;
    }
}

void OutputOptionsPanel::Fill() {
    SendDlgItemMessageW(hwnd_, IDC_OO_LAYOUT, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(L"Exact (today's files, bottom row first)"));
    SendDlgItemMessageW(hwnd_, IDC_OO_LAYOUT, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(L"Portable (top row first, shown right way up everywhere)"));
    for (std::size_t i = 0; i < std::size(kLayouts); ++i) {
        if (kLayouts[i] == settings_.layout) SendDlgItemMessageW(hwnd_, IDC_OO_LAYOUT, CB_SETCURSEL, i, 0);
    }
    for (std::size_t i = 0; i < std::size(kCompressions); ++i) {
        // Each codec with the readers that open it, so that nobody picks one their program cannot.
        const Compression c = kCompressions[i];
        const std::wstring label = Wide(std::string(CompressionName(c)) + " (" + CompressionReaders(c, false) + ")");
        SendDlgItemMessageW(hwnd_, IDC_OO_COMPRESSION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
        if (c == settings_.compression) SendDlgItemMessageW(hwnd_, IDC_OO_COMPRESSION, CB_SETCURSEL, i, 0);
    }
    // The list shows the readers in full, wider than the box that shares its row with the level.
    RECT wide{0, 0, 254, 0};
    MapDialogRect(hwnd_, &wide);
    SendDlgItemMessageW(hwnd_, IDC_OO_COMPRESSION, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(wide.right), 0);
    SendDlgItemMessageW(hwnd_, IDC_OO_LEVEL, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"default"));
    UpdateLevel();
    SetField(hwnd_, IDC_OO_LEVEL, settings_.level != 0 ? std::to_string(settings_.level) : std::string());
    Check(hwnd_, IDC_OO_STACK, settings_.stack);
    Check(hwnd_, IDC_OO_PREDICTOR, settings_.predictor);
    Check(hwnd_, IDC_OO_OME, settings_.ome);
    Check(hwnd_, IDC_OO_BIGTIFF, settings_.bigTiff);
    SetField(hwnd_, IDC_OO_PIXEL_SIZE, settings_.pixelSize);
    SetField(hwnd_, IDC_OO_FOLDER, settings_.outputDir);
    SetField(hwnd_, IDC_OO_PATTERN, settings_.namePattern);
    Check(hwnd_, IDC_OO_RECURSIVE, settings_.recursive);
    Check(hwnd_, IDC_OO_MIRROR, settings_.mirror);
    SetField(hwnd_, IDC_OO_INPUT_BITS, std::to_string(settings_.inputBits));
    SetField(hwnd_, IDC_OO_FRAMES, settings_.frames);
    SetField(hwnd_, IDC_OO_EXCLUDE, settings_.exclude);
    Check(hwnd_, IDC_OO_ONLY_ORX, settings_.onlyOrx);
    Check(hwnd_, IDC_OO_SALVAGE, settings_.salvage);
    Check(hwnd_, IDC_OO_KEEP_WATCHING, settings_.keepWatching);
}

OutputSettings OutputOptionsPanel::Read() const {
    OutputSettings s;
    s.layout = kLayouts[std::min<std::size_t>(static_cast<std::size_t>(Selected(hwnd_, IDC_OO_LAYOUT)), std::size(kLayouts) - 1)];
    s.compression = kCompressions[std::min<std::size_t>(static_cast<std::size_t>(Selected(hwnd_, IDC_OO_COMPRESSION)),
                                                        std::size(kCompressions) - 1)];
    // Empty is the codec's default (0); what is no number is refused with the levels.
    const std::string level = FieldText(hwnd_, IDC_OO_LEVEL);
    if (IsWindowEnabled(GetDlgItem(hwnd_, IDC_OO_LEVEL)) && !level.empty()) {
        s.level = level.size() > 3 || level.find_first_not_of("0123456789") != std::string::npos ? -1 : std::stoi(level);
    }
    s.stack = Checked(hwnd_, IDC_OO_STACK);
    s.predictor = Checked(hwnd_, IDC_OO_PREDICTOR);
    s.ome = Checked(hwnd_, IDC_OO_OME);
    s.bigTiff = Checked(hwnd_, IDC_OO_BIGTIFF);
    s.pixelSize = FieldText(hwnd_, IDC_OO_PIXEL_SIZE);
    s.outputDir = FieldText(hwnd_, IDC_OO_FOLDER);
    s.namePattern = FieldText(hwnd_, IDC_OO_PATTERN);
    s.recursive = Checked(hwnd_, IDC_OO_RECURSIVE);
    s.mirror = Checked(hwnd_, IDC_OO_MIRROR);
    // An empty or unreadable field is 0, which the check refuses with the range.
    const std::string bits = FieldText(hwnd_, IDC_OO_INPUT_BITS);
    s.inputBits = bits.empty() || bits.size() > 3 ? 0 : std::stoi(bits);
    s.frames = FieldText(hwnd_, IDC_OO_FRAMES);
    s.exclude = FieldText(hwnd_, IDC_OO_EXCLUDE);
    s.onlyOrx = Checked(hwnd_, IDC_OO_ONLY_ORX);
    s.salvage = Checked(hwnd_, IDC_OO_SALVAGE);
    s.keepWatching = Checked(hwnd_, IDC_OO_KEEP_WATCHING);
    return s;
}

// The level's field and arrows for the compression chosen now: enabled for a codec with
// levels, the arrows over its range; a field left as typed while disabled counts for nothing.
void OutputOptionsPanel::UpdateLevel() {
    const Compression c = kCompressions[std::min<std::size_t>(static_cast<std::size_t>(Selected(hwnd_, IDC_OO_COMPRESSION)),
                                                              std::size(kCompressions) - 1)];
    const LevelRange range = LevelsOf(c);
    for (int id : {IDC_OO_LEVEL, IDC_OO_LEVEL_SPIN}) EnableWindow(GetDlgItem(hwnd_, id), range.any());
    if (!range.any()) return;
    // The arrows start from the codec's usual level; setting it writes the field, which
    // keeps what was typed.
    const std::string typed = FieldText(hwnd_, IDC_OO_LEVEL);
    SendDlgItemMessageW(hwnd_, IDC_OO_LEVEL_SPIN, UDM_SETRANGE32, static_cast<WPARAM>(range.lowest), range.highest);
    SendDlgItemMessageW(hwnd_, IDC_OO_LEVEL_SPIN, UDM_SETPOS32, 0, range.usual);
    SetField(hwnd_, IDC_OO_LEVEL, typed);
}

std::string OutputOptionsPanel::UpdateProblem() {
    RunOptions options;
    const std::string problem = ApplyOutputSettings(Read(), options);
    SetField(hwnd_, IDC_OO_PROBLEM, problem);
    return problem;
}

}  // namespace qf::win
