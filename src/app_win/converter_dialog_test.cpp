// The Win32 dialog driven in-process as a user drives it, under wine with an X server:
// clicks and keys go through the dialog manager (IsDialogMessage), the run goes on its
// thread over real ORX files, and a hook in the run's pauses holds it where a test looks.
// Texts are checked, not pixels (wine draws CJK names as boxes).
#include "app_win/converter_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <condition_variable>
#include <functional>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "app_win/dialog_test_support.h"
#include "app_win/resource.h"
#include "test/temp_folder.h"

namespace qf::win {
namespace {

using std::chrono::milliseconds;

class FakeServices : public DialogServices {
public:
    std::string folder;
    std::vector<std::string> pickersOpenedAt;
    std::string saveTo;
    std::vector<std::string> messages;
    std::string PickFolder(HWND, const std::string& start) override {
        pickersOpenedAt.push_back(start);
        return folder;
    }
    std::string PickSaveFile(HWND, const std::string&) override { return saveTo; }
    void ShowMessage(HWND, const std::string&, const std::string& text, bool) override { messages.push_back(text); }
    std::vector<std::string> questions;
    bool yes = false;  ///< the answer to every question
    bool AskYesNo(HWND, const std::string&, const std::string& question) override {
        questions.push_back(question);
        return yes;
    }
    void OpenFolder(HWND, const std::string&) override {}
};

std::string Text(HWND window, int id) {
    const HWND item = GetDlgItem(window, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

void Type(HWND window, int id, const std::string& text) { SetDlgItemTextW(window, id, Wide(text).c_str()); }

void Choose(HWND window, int id, int index) {
    SendDlgItemMessageW(window, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

std::string Clipboard() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = Utf8(static_cast<const wchar_t*>(GlobalLock(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

// Holds the run at its first pause once `when` holds (the run pauses after each load and
// each step to the next frame, in the plan too) until the test lets it go.
class Gate {
public:
    void HoldWhen(std::function<bool()> when) {
        std::lock_guard lock(m_);
        when_ = std::move(when);
    }
    void Pause() {
        std::unique_lock lock(m_);
        if (!when_ || !when_()) return;
        when_ = nullptr;
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
    }
    bool held() {
        std::lock_guard lock(m_);
        return held_;
    }
    void Release() {
        std::lock_guard lock(m_);
        held_ = false;
        when_ = nullptr;
        changed_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    std::function<bool()> when_;
    bool held_ = false;
};

class ConverterDialogTest : public qf::test::TempFolderTest {
protected:
    void SetUp() override {
        key_ = L"Software\\Quillfen\\Tests\\dialog-" + std::to_wstring(GetCurrentProcessId());
        services_.folder = dir / "data";
        ASSERT_EQ(qf::test::MakeDir(services_.folder), 0);
        Open(Options());
    }
    ConverterOptions Options() {
        ConverterOptions options;
        options.services = &services_;
        options.settingsKey = key_;
        options.settle = milliseconds(1);  // so that the run pauses (through the gate) after each step
        options.pause = [this](milliseconds) { gate_.Pause(); };
        options.jobs = 1;
        // Each modal window the dialog opens goes to the test's hook, which closes it;
        // without a hook it is cancelled.
        options.shown = [this](HWND window, int templateId) {
            opened_.push_back(templateId);
            if (onShown_) onShown_(window, templateId);
            else EndDialog(window, IDCANCEL);
        };
        return options;
    }
    // A new dialog on the same settings, as the program's next start.
    void Open(ConverterOptions options) {
        if (dialog_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
        dialog_.reset();
        dialog_ = std::make_unique<ConverterDialog>(options);
        hwnd_ = dialog_->CreateModeless(GetModuleHandleW(nullptr));
        ASSERT_NE(hwnd_, nullptr);
    }
    // The Output Options panel, opened from the dialog: `edit` fills its fields, then OK.
    // The panel's problem line when OK, pressed, left it open ("" when it closed).
    std::string EditOutputOptions(const std::function<void(HWND)>& edit) {
        std::string problem;
        onShown_ = [&](HWND panel, int) {
            edit(panel);
            SendDlgItemMessageW(panel, IDOK, BM_CLICK, 0, 0);
            problem = Text(panel, IDC_OO_PROBLEM);  // OK closes the panel only when there is none
            if (!problem.empty()) EndDialog(panel, IDCANCEL);
        };
        Click(IDC_OUTPUT_OPTIONS);
        onShown_ = nullptr;
        return problem;
    }
    void TearDown() override {
        gate_.Release();
        dialog_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    }
    static void Beam(const std::string& path, std::uint32_t frames, int width = 40, int height = 30) {
        ASSERT_TRUE(test::WriteBeam(path, frames, width, height)) << path;
    }
    // Handles what is queued, as the program's loop would; true when `done` came in time.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
        const auto end = std::chrono::steady_clock::now() + milliseconds(timeoutMs);
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsWindow(hwnd_) || !IsDialogMessageW(hwnd_, &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            if (done()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    void Pump() { PumpUntil([] { return true; }); }
    // A key pressed where the focus is, through the dialog manager.
    void Key(UINT vk) {
        const HWND focus = GetFocus();
        PostMessageW(focus ? focus : hwnd_, WM_KEYDOWN, vk, 1);
        PostMessageW(focus ? focus : hwnd_, WM_KEYUP, vk, 0xC0000001);
        Pump();
    }
    void Click(int id) {
        SendDlgItemMessageW(hwnd_, id, BM_CLICK, 0, 0);
        Pump();
    }
    int Checked() const {
        for (int i = 0; i < 4; ++i) {
            if (IsDlgButtonChecked(hwnd_, IDC_FIRST_RADIO + i) == BST_CHECKED) return i;
        }
        return -1;
    }
    // The strip's whole line (where it shows, a long one is shortened).
    std::string Strip() const { return dialog_->stripText(); }
    // A key with Ctrl held, as the keyboard's state tells it to the dialog.
    void CtrlKey(UINT vk) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        Key(vk);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    HWND View() const { return GetDlgItem(hwnd_, IDC_PICTURE); }
    SIZE ViewSize() const {
        RECT r;
        GetClientRect(View(), &r);
        return SIZE{r.right, r.bottom};
    }
    // The wheel turned a notch (up for +1) with the pointer at `at` in the view: it goes to
    // the focus, as the system sends it, and on to the view under the pointer.
    void Wheel(int notch, POINT at) {
        ClientToScreen(View(), &at);
        SendMessageW(GetFocus() ? GetFocus() : hwnd_, WM_MOUSEWHEEL, MAKEWPARAM(0, notch * WHEEL_DELTA),
                     MAKELPARAM(at.x, at.y));
        Pump();
    }
    void PointAt(POINT at) {
        SendMessageW(View(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        Pump();
    }
    static RECT WindowRect(HWND window) {
        RECT r;
        GetWindowRect(window, &r);
        return r;
    }
    void HoldOnceWritten(const std::string& output) {
        const std::string path = services_.folder + "/" + output;
        gate_.HoldWhen([path] { return qf::test::FileExists(path); });
    }
    bool RunEnded() { return PumpUntil([this] { return !dialog_->running(); }); }
    bool Held() { return PumpUntil([this] { return gate_.held(); }); }
    // The dialog (or `window`) as the screen shows it, as a BMP, when QUILLFEN_SCREENSHOTS
    // names a folder.
    // With `above`, the picture takes in both windows.
    void Screenshot(const char* name, HWND window = nullptr, HWND above = nullptr) {
        const char* folder = std::getenv("QUILLFEN_SCREENSHOTS");
        if (!folder) return;
        if (!window) Pump();
        window = window ? window : hwnd_;
        // A modal window is shown once its loop first idles, after the hook that took it here.
        for (HWND shown : {window, above}) {
            if (shown && !IsWindowVisible(shown)) ShowWindow(shown, SW_SHOWNORMAL);
        }
        RECT r;
        GetWindowRect(window, &r);
        for (HWND shown : {window, above}) {
            if (!shown) continue;
            RECT more;
            GetWindowRect(shown, &more);
            UnionRect(&r, &r, &more);
        }
        const int w = r.right - r.left, h = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        const RECT all{0, 0, w, h};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        // Each window from its own bits (the screen may not have all of them yet), the
        // lower one first.
        for (HWND shown : {window, above}) {
            if (!shown) continue;
            RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            RECT at;
            GetWindowRect(shown, &at);
            HDC own = GetWindowDC(shown);
            BitBlt(memory, at.left - r.left, at.top - r.top, at.right - at.left, at.bottom - at.top, own, 0, 0, SRCCOPY);
            ReleaseDC(shown, own);
        }
        GdiFlush();
        const DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
        BITMAPFILEHEADER file{0x4D42, 14 + 40 + size, 0, 0, 14 + 40};
        std::vector<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(&file), reinterpret_cast<std::uint8_t*>(&file) + 14);
        bytes.insert(bytes.end(), reinterpret_cast<std::uint8_t*>(&info.bmiHeader),
                     reinterpret_cast<std::uint8_t*>(&info.bmiHeader) + 40);
        bytes.insert(bytes.end(), static_cast<std::uint8_t*>(bits), static_cast<std::uint8_t*>(bits) + size);
        qf::test::WriteBytes(std::string(folder) + "/" + name + ".bmp", bytes);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    // `text` in the system's message box over the dialog, as a screenshot with the dialog,
    // when QUILLFEN_SCREENSHOTS names a folder. The box is taken once it has been drawn
    // (a timer's message comes after its paint messages) and closed.
    void ScreenshotOfMessage(const char* name, const std::string& text) {
        if (!std::getenv("QUILLFEN_SCREENSHOTS")) return;
        static thread_local ConverterDialogTest* self = nullptr;
        static thread_local const char* shot = nullptr;
        static thread_local HWND box = nullptr;
        self = this, shot = name, box = nullptr;
        const HHOOK hook = SetWindowsHookExW(
            WH_CBT,
            [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
                if (code == HCBT_ACTIVATE && !box) {
                    box = reinterpret_cast<HWND>(wParam);
                    SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR id, DWORD) {
                        KillTimer(nullptr, id);
                        self->Screenshot(shot, self->hwnd_, box);
                        PostMessageW(box, WM_COMMAND, IDOK, 0);
                    });
                }
                return CallNextHookEx(nullptr, code, wParam, lParam);
            },
            nullptr, GetCurrentThreadId());
        SystemServices().ShowMessage(hwnd_, "Quillfen", text, true);
        UnhookWindowsHookEx(hook);
    }
    // The outputs quillfen-cli writes for `kind` from a copy of the data files.
    std::vector<std::uint8_t> CliOutput(const std::string& data, const std::string& kind, const std::string& output,
                                        const std::vector<std::string>& options = {}) {
        const std::string copy = dir / ("cli-" + kind);
        qf::test::MakeDir(copy);
        const std::string name = data.substr(data.find_last_of("/\\") + 1);
        qf::test::WriteBytes(copy + "/" + name, qf::test::ReadBytes(data));
        std::string err;
        EXPECT_EQ(test::ConvertWithCli(copy, kind, err, options), 0) << err;
        return qf::test::ReadBytes(copy + "/" + output);
    }

    std::wstring key_;
    std::vector<int> opened_;  // the templates of the modal windows opened, in order
    std::function<void(HWND, int)> onShown_;
    FakeServices services_;
    Gate gate_;
    std::unique_ptr<ConverterDialog> dialog_;
    HWND hwnd_ = nullptr;
};

TEST_F(ConverterDialogTest, PicksEachKindByClickAndByArrowKeysWithinTheGroup) {
    for (int kind : {3, 1, 2, 0}) {
        Click(IDC_FIRST_RADIO + kind);
        EXPECT_EQ(Checked(), kind);
    }
    SetFocus(GetDlgItem(hwnd_, IDC_FIRST_RADIO));
    Pump();
    for (int expected : {1, 2, 3, 0}) {  // the arrows wrap inside the group, never out of it
        Key(VK_DOWN);
        EXPECT_EQ(Checked(), expected);
        EXPECT_EQ(GetFocus(), GetDlgItem(hwnd_, IDC_FIRST_RADIO + expected));
    }
    Key(VK_UP);
    EXPECT_EQ(Checked(), 3);
}

TEST_F(ConverterDialogTest, RunShowsTheStripAndPictureChangingAndWritesWhatTheCliWrites) {
    Beam(services_.folder + "/a.orx", 3);
    Beam(services_.folder + "/b.orx", 2, 24, 16);
    Click(IDC_FIRST_RADIO + 3);
    HoldOnceWritten("a.bmp");  // in a.orx, its frame 0 written
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(Held());
    Pump();
    EXPECT_EQ(dialog_->light(), 1);
    EXPECT_EQ(Strip().rfind("File 1 of 2: a.orx", 0), 0u) << Strip();
    EXPECT_NE(Strip().find(" frames/s"), std::string::npos) << Strip();  // the pace, once a frame is done
    // The bar follows the pixels: a.orx's frame of 40 x 30 is 1,200 of the run's 3 x 1,200 +
    // 2 x 24 x 16 pixels, a quarter and more; by frames it would be a fifth.
    EXPECT_EQ(SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_GETPOS, 0, 0), 1200 * 1000 / (3 * 1200 + 2 * 24 * 16));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd_, IDOK)));
    EXPECT_TRUE(IsChild(hwnd_, GetFocus()));  // the focus went to Cancel, not nowhere
    Screenshot("during-run");
    const FramePixels first = dialog_->shownPicture();
    EXPECT_EQ(first.width, 40);
    EXPECT_EQ(first.channels, 3);
    gate_.Release();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(Strip().rfind("Converted 2 files, 5 frames in ", 0), 0u) << Strip();
    EXPECT_EQ(dialog_->light(), 2);
    EXPECT_EQ(dialog_->shownPicture().width, 24);  // the last frame, b.orx's, is shown
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd_, IDC_SHOW_REPORT)));
    EXPECT_TRUE(services_.messages.empty());
    Screenshot("after-run");
    for (const char* name : {"a.bmp", "a1.bmp", "a2.bmp"}) {
        EXPECT_EQ(qf::test::ReadBytes(services_.folder + "/" + name), CliOutput(services_.folder + "/a.orx", "color-bmp", name))
            << name;
    }
}

TEST_F(ConverterDialogTest, EscapeMidRunStopsAfterTheFrameKeepsTheDialogAndLeavesNoTemporary) {
    Beam(services_.folder + "/a.orx", 6);
    Beam(services_.folder + "/b.orx", 2);
    HoldOnceWritten("a.tiff");
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(Held());
    Key(VK_ESCAPE);
    gate_.Release();
    ASSERT_TRUE(RunEnded());
    EXPECT_TRUE(IsWindow(hwnd_));
    EXPECT_EQ(dialog_->light(), 4);
    EXPECT_EQ(Strip().rfind("Stopped: ", 0), 0u) << Strip();
    ASSERT_EQ(services_.messages.size(), 1u);  // what the stop left undone, as the Qt dialog says it
    EXPECT_EQ(services_.messages[0].rfind("The conversion was stopped.", 0), 0u) << services_.messages[0];
    EXPECT_NE(services_.messages[0].find("b.orx"), std::string::npos) << services_.messages[0];
    ScreenshotOfMessage("after-stop", services_.messages[0]);
    EXPECT_LT(dialog_->framesWritten(), 8);
    for (const std::string& name : qf::test::Entries(services_.folder)) EXPECT_FALSE(test::IsTemporary(name)) << name;
    EXPECT_FALSE(qf::test::FileExists(services_.folder + "/b.tiff"));
    EXPECT_TRUE(IsChild(hwnd_, GetFocus()));
    Key(VK_ESCAPE);  // no run: Escape closes
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(ConverterDialogTest, RadioChangeDuringARunAppliesToTheNextFile) {
    Beam(services_.folder + "/a.orx", 2);
    Beam(services_.folder + "/b.orx", 2);
    Click(IDC_FIRST_RADIO + 1);
    HoldOnceWritten("a.tiff");  // a.orx's frame 0: a.orx goes on as it started
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(Held());
    Click(IDC_FIRST_RADIO + 2);
    gate_.Release();
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(qf::test::Entries(services_.folder),
              (std::vector<std::string>{"a.orx", "a.tiff", "a1.tiff", "b.bmp", "b.orx", "b1.bmp"}));
}

TEST_F(ConverterDialogTest, KindIsRememberedUnderItsSettingsKey) {
    Click(IDC_FIRST_RADIO + 2);
    Click(IDCANCEL);
    EXPECT_FALSE(IsWindow(hwnd_));
    Open(Options());
    EXPECT_EQ(Checked(), 2);
}


// Day folders whose data files share a name, into one output folder: the run asks before
// it writes anything, and taking the offer starts it again with each day in its own
// subfolder of the output folder, remembered for the next run.
TEST_F(ConverterDialogTest, NamesThatClashAcrossDayFoldersAreOfferedMirroringAndYesWritesEveryFrame) {
    for (const char* day : {"/day1", "/day2"}) {
        ASSERT_EQ(qf::test::MakeDir(services_.folder + day), 0);
        Beam(services_.folder + day + "/a.orx", 2);
    }
    const std::string out = dir / "out";
    ASSERT_EQ(qf::test::MakeDir(out), 0);
    EXPECT_EQ(EditOutputOptions([&](HWND panel) {
                  CheckDlgButton(panel, IDC_OO_RECURSIVE, BST_CHECKED);
                  Type(panel, IDC_OO_FOLDER, out);
              }),
              "");
    services_.yes = true;
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(services_.questions.size(), 1u);
    EXPECT_EQ(services_.questions[0].rfind("2 frames would not be written: their names are taken by other frames. ", 0),
              0u)
        << services_.questions[0];
    EXPECT_NE(services_.questions[0].find("same subfolder of the output folder?"), std::string::npos);
    EXPECT_TRUE(dialog_->outputSettings().mirror);
    for (const char* day : {"/day1", "/day2"}) {
        EXPECT_EQ(qf::test::Entries(out + day), (std::vector<std::string>{"a.tiff", "a1.tiff"})) << day;
    }
    EXPECT_TRUE(services_.messages.empty());  // the second run wrote every frame
}

TEST_F(ConverterDialogTest, OutputOptionsPanelWritesAStackWithDeflateAndAPixelSizeAsTheCliDoes) {
    Beam(services_.folder + "/a.orx", 3);
    // A pixel size with the exact layout and no stack holds no size: the panel says so and stays.
    EXPECT_EQ(EditOutputOptions([](HWND panel) { Type(panel, IDC_OO_PIXEL_SIZE, "6.5um"); }),
              DialogWords(OptionsRule::kPixelSizeNeedsPortableOrStack));
    EXPECT_EQ(EditOutputOptions([](HWND panel) { Type(panel, IDC_OO_PIXEL_SIZE, "6.5 parsecs"); }).rfind("Pixel size: ", 0), 0u);
    EXPECT_EQ(dialog_->outputSettings(), OutputSettings{});  // nothing taken from a panel that stayed
    EXPECT_EQ(EditOutputOptions([this](HWND panel) {
                  CheckDlgButton(panel, IDC_OO_STACK, BST_CHECKED);
                  Choose(panel, IDC_OO_COMPRESSION, 1);  // deflate
                  Type(panel, IDC_OO_PIXEL_SIZE, "6.5um");
                  Screenshot("output-options", hwnd_, panel);
              }),
              "");
    // The line shows what fits of it, the whole in its tooltip.
    EXPECT_EQ(OutputSummary(dialog_->outputSettings()), "Output options: stacks, deflate, pixel size 6.5um");
    EXPECT_EQ(Text(hwnd_, IDC_OPTIONS_SUMMARY).rfind("Output options: stacks, deflate, ", 0), 0u);
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(qf::test::Entries(services_.folder), (std::vector<std::string>{"a.orx", "a.tiff"}));
    test::TiffPages stack;
    ASSERT_TRUE(test::ReadTiff(services_.folder + "/a.tiff", stack));
    EXPECT_EQ(stack.pages, 3);
    EXPECT_EQ(stack.compression, test::kTiffDeflate);
    EXPECT_EQ(stack.resolutionUnit, test::kTiffCentimetre);
    EXPECT_NEAR(stack.xResolution, 10000 / 6.5, 0.01);
    EXPECT_EQ(stack.firstPage.size(), 40u * 30u);
    EXPECT_EQ(qf::test::ReadBytes(services_.folder + "/a.tiff"),
              CliOutput(services_.folder + "/a.orx", "normalized-tiff", "a.tiff",
                        {"--stack", "--compress", "deflate", "--pixel-size", "6.5um"}));
    // The next start has the same options, from the registry.
    const OutputSettings chosen = dialog_->outputSettings();
    Open(Options());
    EXPECT_EQ(dialog_->outputSettings(), chosen);
    EXPECT_EQ(opened_, (std::vector<int>{IDD_OUTPUT_OPTIONS, IDD_OUTPUT_OPTIONS, IDD_OUTPUT_OPTIONS}));
    // The same stack as an OME-TIFF in BigTIFF form (OME takes the portable layout).
    EXPECT_EQ(EditOutputOptions([](HWND panel) {
                  Choose(panel, IDC_OO_LAYOUT, 1);
                  CheckDlgButton(panel, IDC_OO_OME, BST_CHECKED);
                  CheckDlgButton(panel, IDC_OO_BIGTIFF, BST_CHECKED);
              }),
              "");
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    const std::vector<std::uint8_t> ome = qf::test::ReadBytes(services_.folder + "/a.ome.tif");
    ASSERT_GE(ome.size(), 4u);
    EXPECT_EQ(ome[2], 43);  // a BigTIFF's version
    EXPECT_EQ(ome, CliOutput(services_.folder + "/a.orx", "normalized-tiff", "a.ome.tif",
                             {"--stack", "--compress", "deflate", "--pixel-size", "6.5um", "--layout", "portable",
                              "--ome", "--bigtiff"}));
}

// "Keep converting new files": after the run the folder stays watched, the light blue and
// the strip saying so; a new complete acquisition is converted; Cancel ends it as a stop.
TEST_F(ConverterDialogTest, KeepConvertingNewFilesWatchesTheFolderUntilCancel) {
    Beam(services_.folder + "/a.orx", 2);
    ConverterOptions options = Options();
    options.watchSettle = milliseconds(0);
    Open(options);
    EXPECT_EQ(EditOutputOptions([](HWND panel) { CheckDlgButton(panel, IDC_OO_KEEP_WATCHING, BST_CHECKED); }), "");
    EXPECT_EQ(Text(hwnd_, IDC_OPTIONS_SUMMARY), "Output options: keeps converting");
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(PumpUntil([this] { return Text(hwnd_, IDC_STRIP).rfind("watching ", 0) == 0; })) << Text(hwnd_, IDC_STRIP);
    EXPECT_TRUE(dialog_->running());
    EXPECT_EQ(dialog_->light(), 1);
    EXPECT_EQ(qf::test::Entries(services_.folder), (std::vector<std::string>{"a.orx", "a.tiff", "a1.tiff"}));
    Beam(services_.folder + "/b.orx", 1);
    ASSERT_TRUE(PumpUntil([this] { return qf::test::FileExists(services_.folder + "/b.tiff"); }));
    EXPECT_TRUE(dialog_->running());
    Click(IDCANCEL);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(dialog_->light(), 4);
    EXPECT_EQ(dialog_->framesWritten(), 3);
    EXPECT_EQ(qf::test::Entries(services_.folder),
              (std::vector<std::string>{"a.orx", "a.tiff", "a1.tiff", "b.orx", "b.tiff"}));
    // Remembered with the other options.
    Open(Options());
    EXPECT_TRUE(dialog_->outputSettings().keepWatching);
}

TEST_F(ConverterDialogTest, ReportWindowShowsTheOptionsAndEveryLineCopiesSavesAndResizes) {
    Beam(services_.folder + "/a.orx", 2);
    qf::test::WriteBytes(services_.folder + "/bad.orx", std::vector<std::uint8_t>(10, 0));
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    ASSERT_EQ(services_.messages.size(), 1u);  // the failure
    services_.saveTo = dir / "report.txt";
    std::string shown, copied;
    RECT small{}, large{};
    onShown_ = [&](HWND report, int) {
        shown = Text(report, IDC_REPORT_TEXT);
        GetWindowRect(GetDlgItem(report, IDC_REPORT_TEXT), &small);
        SetWindowPos(report, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(GetDlgItem(report, IDC_REPORT_TEXT), &large);
        SendDlgItemMessageW(report, IDC_REPORT_COPY, BM_CLICK, 0, 0);
        copied = Clipboard();
        SendDlgItemMessageW(report, IDC_REPORT_SAVE, BM_CLICK, 0, 0);
        SendDlgItemMessageW(report, IDCANCEL, BM_CLICK, 0, 0);
    };
    Click(IDC_SHOW_REPORT);
    EXPECT_EQ(opened_, std::vector<int>{IDD_REPORT});
    EXPECT_EQ(shown.rfind("Output options: layout exact, a file per frame, compression none", 0), 0u) << shown;
    EXPECT_NE(shown.find("bad.orx"), std::string::npos) << shown;
    EXPECT_EQ(copied, shown);
    const std::vector<std::uint8_t> saved = qf::test::ReadBytes(dir / "report.txt");
    EXPECT_EQ(std::string(saved.begin(), saved.end()), shown);
    EXPECT_GT(large.right - large.left, small.right - small.left);  // the text grows with the window
    EXPECT_GT(large.bottom - large.top, small.bottom - small.top);
}

TEST_F(ConverterDialogTest, StartsOnAGivenFolderClearsThePictureOfARunWithoutFramesAndPicksFromTheLastFolder) {
    Beam(services_.folder + "/a.orx", 1);
    const std::string data = services_.folder, empty = dir / "empty";
    ASSERT_EQ(qf::test::MakeDir(empty), 0);
    // quillfen.exe FOLDER converts it at once.
    ConverterOptions given = Options();
    given.startFolder = data;
    Open(given);
    ASSERT_TRUE(PumpUntil([this] { return dialog_->framesWritten() == 1 && !dialog_->running(); }));
    EXPECT_FALSE(dialog_->shownPicture().empty());
    services_.folder = empty;
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    EXPECT_TRUE(dialog_->shownPicture().empty());  // not the earlier run's frame
    EXPECT_EQ(dialog_->light(), 3);
    // The next start's picker opens at the folder of the last run.
    Open(Options());
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(services_.pickersOpenedAt, (std::vector<std::string>{data, empty}));
}

// The frame view as the Qt dialog's: Ctrl + and Ctrl - step the zoom, Ctrl+1 shows the frame
// 1:1 and Ctrl+0 fits it again; the wheel zooms about the pointer; the line under the view
// tells the pixel under the pointer, its value as the TIFF written holds it.
TEST_F(ConverterDialogTest, ZoomKeysAndWheelScaleTheFrameAndTheReadoutTellsThePixelUnderThePointer) {
    Beam(services_.folder + "/a.orx", 1);  // 40 x 30
    Click(IDC_FIRST_RADIO + 1);            // standardized: the intensities as they are
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    const FrameView& view = dialog_->frameView();
    const SIZE client = ViewSize();
    // Fitted: the whole frame, as large as the view lets it be.
    ASSERT_TRUE(view.zoom().fitting());
    const double fit = view.zoom().scale();
    EXPECT_LE(view.zoom().shownWidth(), client.cx);
    EXPECT_LE(view.zoom().shownHeight(), client.cy);
    EXPECT_TRUE(view.zoom().shownWidth() >= client.cx - 1 || view.zoom().shownHeight() >= client.cy - 1);
    EXPECT_GT(fit, 1.0);  // a 40 x 30 frame in a view some 200 pixels a side
    CtrlKey(VK_OEM_PLUS);
    const double in = view.zoom().scale();
    EXPECT_FALSE(view.zoom().fitting());
    EXPECT_GT(in, fit);
    EXPECT_GT(view.zoom().maxScrollX(), 0);  // larger than the view: it scrolls
    PointAt(POINT{client.cx / 2, client.cy / 2});
    EXPECT_EQ(Text(hwnd_, IDC_READOUT).rfind("x ", 0), 0u) << Text(hwnd_, IDC_READOUT);
    Screenshot("zoomed-readout");
    CtrlKey(VK_OEM_MINUS);
    EXPECT_LT(view.zoom().scale(), in);
    CtrlKey(VK_SUBTRACT);  // the keypad's minus too
    EXPECT_LT(view.zoom().scale(), fit);
    CtrlKey('1');
    EXPECT_EQ(view.zoom().scale(), 1.0);
    EXPECT_EQ(view.zoom().shownWidth(), 40);
    Key('0');  // without Ctrl: nothing
    EXPECT_EQ(view.zoom().scale(), 1.0);
    CtrlKey('0');
    EXPECT_TRUE(view.zoom().fitting());
    EXPECT_EQ(view.zoom().scale(), fit);
    // The wheel over the view: two steps up from 1:1, then one down.
    CtrlKey('1');
    const POINT centre{client.cx / 2, client.cy / 2};
    Wheel(1, centre);
    Wheel(1, centre);
    const double two = view.zoom().scale();
    EXPECT_GT(two, 1.0);
    Wheel(-1, centre);
    EXPECT_LT(view.zoom().scale(), two);
    EXPECT_GT(view.zoom().scale(), 1.0);
    Wheel(1, centre);
    ASSERT_EQ(view.zoom().scale(), two);
    ASSERT_EQ(view.zoom().maxScrollX(), 0);  // still smaller than the view: centred
    test::TiffPages tiff;
    ASSERT_TRUE(test::ReadTiff(services_.folder + "/a.tiff", tiff));
    ASSERT_EQ(tiff.firstPage.size(), 40u * 30u);
    for (const POINT pixel : {POINT{3, 4}, POINT{20, 15}, POINT{39, 29}}) {
        // The middle of the pixel's block on screen.
        const POINT at{static_cast<LONG>(view.zoom().OriginX(0) + (pixel.x + 0.5) * two),
                       static_cast<LONG>(view.zoom().OriginY(0) + (pixel.y + 0.5) * two)};
        PointAt(at);
        // Rows as stored: bottom first in the exact layout.
        const int row = tiff.orientation == 4 ? 29 - pixel.y : pixel.y;
        const std::string expected = "x " + std::to_string(pixel.x) + ", y " + std::to_string(pixel.y) + ": " +
                                     std::to_string(tiff.firstPage[static_cast<std::size_t>(row) * 40 + pixel.x]);
        EXPECT_EQ(Text(hwnd_, IDC_READOUT), expected);
    }
    PointAt(POINT{1, 1});  // off the frame, on the view's black
    EXPECT_EQ(Text(hwnd_, IDC_READOUT), "");
}

TEST_F(ConverterDialogTest, WindowGrowsFromItsTemplateSizeTheViewAndProfilesWithIt) {
    Beam(services_.folder + "/a.orx", 1);
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    EXPECT_TRUE(GetWindowLongW(hwnd_, GWL_STYLE) & WS_THICKFRAME);
    const RECT window = WindowRect(hwnd_);
    MINMAXINFO limits{};
    SendMessageW(hwnd_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, window.right - window.left);  // never smaller than the template
    EXPECT_EQ(limits.ptMinTrackSize.y, window.bottom - window.top);
    const int items[] = {IDC_PICTURE, IDC_ROW_PROFILE, IDC_COLUMN_PROFILE, IDOK, IDC_CHOOSE_DIRECTORY, IDC_STRIP};
    std::vector<RECT> before;
    for (int id : items) before.push_back(WindowRect(GetDlgItem(hwnd_, id)));
    const int shownBefore = dialog_->frameView().zoom().shownHeight();
    const int dx = 200, dy = 150;
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + dx, window.bottom - window.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    Screenshot("resized");
    const auto moved = [&](std::size_t i) {
        const RECT after = WindowRect(GetDlgItem(hwnd_, items[i]));
        return std::vector<LONG>{after.left - before[i].left, after.top - before[i].top, after.right - before[i].right,
                                 after.bottom - before[i].bottom};
    };
    // Left, top, right and bottom edges: how far each moved.
    EXPECT_EQ(moved(0), (std::vector<LONG>{0, 0, dx, dy}));           // the view takes it all
    EXPECT_EQ(moved(1), (std::vector<LONG>{0, dy, dx / 2, dy}));      // the profiles share the width
    EXPECT_EQ(moved(2), (std::vector<LONG>{dx / 2, dy, dx, dy}));
    EXPECT_EQ(moved(3), (std::vector<LONG>{dx, dy, dx, dy}));         // OK in the corner
    EXPECT_EQ(moved(4), (std::vector<LONG>{dx, 0, dx, 0}));           // the buttons beside the view
    EXPECT_EQ(moved(5), (std::vector<LONG>{0, 0, dx, 0}));            // the strip widens
    EXPECT_TRUE(dialog_->frameView().zoom().fitting());
    EXPECT_GT(dialog_->frameView().zoom().shownHeight(), shownBefore);  // the fitted frame grows too
}

// A line longer than its place is cut between words, and the whole shows as its tooltip: the
// strip's, and the options line's (the report's line of the options, always).
TEST_F(ConverterDialogTest, LongLinesAreCutAtWordEndsWithTheWholeLineAsTooltip) {
    Beam(services_.folder + "/scan of the morning with the new camera.orx", 2);
    const std::string out = dir / "outputs for the morning scans of the new camera";
    ASSERT_EQ(qf::test::MakeDir(out), 0);
    EXPECT_EQ(EditOutputOptions([&](HWND panel) {
                  Type(panel, IDC_OO_FOLDER, out);
                  Type(panel, IDC_OO_FRAMES, "0-1");
              }),
              "");
    const std::string summary = OutputSummary(dialog_->outputSettings());
    EXPECT_EQ(summary, "Output options: frames 0-1, into " + out);
    const std::string shown = Text(hwnd_, IDC_OPTIONS_SUMMARY);
    EXPECT_NE(shown, summary);
    EXPECT_EQ(shown.rfind("Output options: frames 0-1, ", 0), 0u) << shown;  // the head, whole words
    EXPECT_EQ(shown.substr(shown.size() - 3), "\xE2\x80\xA6") << shown;
    EXPECT_EQ(dialog_->ToolTip(IDC_OPTIONS_SUMMARY), OutputReportLine(dialog_->outputSettings()));
    const std::string first = out + "/scan of the morning with the new camera.tiff";
    gate_.HoldWhen([first] { return qf::test::FileExists(first); });
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(Held());
    Pump();
    const std::string whole = Strip(), cut = Text(hwnd_, IDC_STRIP), tip = dialog_->ToolTip(IDC_STRIP);
    gate_.Release();
    ASSERT_TRUE(RunEnded());
    EXPECT_NE(cut, whole);
    EXPECT_NE(cut.find("\xE2\x80\xA6"), std::string::npos) << cut;
    // Every word shown is one of the line's: none is cut.
    std::istringstream words(cut);
    for (std::string word; words >> word;) {
        if (word == "\xE2\x80\xA6") continue;
        EXPECT_NE((" " + whole + " ").find(word), std::string::npos) << word << " in " << cut;
    }
    // The pace goes before the frame does: the line still ends with the frame and its count.
    EXPECT_EQ(cut.substr(cut.size() - 5), " of 2") << cut;
    EXPECT_EQ(tip, whole);
    EXPECT_EQ(dialog_->ToolTip(IDC_STRIP), "");  // the run's last line fits: no tooltip
}

TEST_F(ConverterDialogTest, CompressionLevelIsOfferedForDeflateAndZstdReachesTheFileAndIsRemembered) {
    Beam(services_.folder + "/a.orx", 2);
    std::vector<bool> offered;
    EXPECT_EQ(EditOutputOptions([&](HWND panel) {
                  for (int codec = 0; codec < 4; ++codec) {  // none, deflate, zstd, lzw
                      Choose(panel, IDC_OO_COMPRESSION, codec);
                      offered.push_back(IsWindowEnabled(GetDlgItem(panel, IDC_OO_LEVEL)) != FALSE);
                  }
                  Choose(panel, IDC_OO_COMPRESSION, 1);
                  Type(panel, IDC_OO_LEVEL, "99");
              }),
              DialogWords(OptionsRule::kLevelOutOfRange));
    EXPECT_EQ(offered, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(EditOutputOptions([](HWND panel) {
                  Choose(panel, IDC_OO_COMPRESSION, 1);
                  Type(panel, IDC_OO_LEVEL, "9");
              }),
              "");
    EXPECT_EQ(Text(hwnd_, IDC_OPTIONS_SUMMARY), "Output options: deflate level 9");
    Click(IDC_CHOOSE_DIRECTORY);
    ASSERT_TRUE(RunEnded());
    for (const char* name : {"a.tiff", "a1.tiff"}) {
        EXPECT_EQ(qf::test::ReadBytes(services_.folder + "/" + name),
                  CliOutput(services_.folder + "/a.orx", "normalized-tiff", name, {"--compress", "deflate", "--level", "9"}))
            << name;
    }
    Open(Options());
    EXPECT_EQ(dialog_->outputSettings().level, 9);
    // Lzw chosen over it: the level, disabled, counts for nothing.
    EXPECT_EQ(EditOutputOptions([](HWND panel) { Choose(panel, IDC_OO_COMPRESSION, 3); }), "");
    EXPECT_EQ(dialog_->outputSettings().level, 0);
}

TEST_F(ConverterDialogTest, F1OpensAbout) {
    SetFocus(GetDlgItem(hwnd_, IDC_CHOOSE_DIRECTORY));
    Key(VK_F1);
    EXPECT_EQ(opened_, std::vector<int>{IDD_ABOUT});
}

}  // namespace
}  // namespace qf::win

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
