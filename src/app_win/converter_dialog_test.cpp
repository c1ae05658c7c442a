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
    std::vector<std::string> messages;
    std::string PickFolder(HWND) override { return folder; }
    void ShowMessage(HWND, const std::string&, const std::string& text, bool) override { messages.push_back(text); }
    void OpenFolder(HWND, const std::string&) override {}
};

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
        ConverterOptions options;
        options.services = &services_;
        options.settingsKey = key_;
        options.settle = milliseconds(1);  // so that the run pauses (through the gate) after each step
        options.pause = [this](milliseconds) { gate_.Pause(); };
        options.jobs = 1;
        dialog_ = std::make_unique<ConverterDialog>(options);
        hwnd_ = dialog_->CreateModeless(GetModuleHandleW(nullptr));
        ASSERT_NE(hwnd_, nullptr);
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
    std::string Strip() const {
        wchar_t text[512] = {};
        GetDlgItemTextW(hwnd_, IDC_STRIP, text, 512);
        return Utf8(text);
    }
    void HoldOnceWritten(const std::string& output) {
        const std::string path = services_.folder + "/" + output;
        gate_.HoldWhen([path] { return qf::test::FileExists(path); });
    }
    bool RunEnded() { return PumpUntil([this] { return !dialog_->running(); }); }
    bool Held() { return PumpUntil([this] { return gate_.held(); }); }
    // The dialog as the screen shows it, as a BMP, when QUILLFEN_SCREENSHOTS names a folder.
    void Screenshot(const char* name) {
        const char* folder = std::getenv("QUILLFEN_SCREENSHOTS");
        if (!folder) return;
        Pump();
        UpdateWindow(hwnd_);
        RECT r;
        GetWindowRect(hwnd_, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
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
    // The outputs quillfen-cli writes for `kind` from a copy of the data files.
    std::vector<std::uint8_t> CliOutput(const std::string& data, const std::string& kind, const std::string& output) {
        const std::string copy = dir / ("cli-" + kind);
        qf::test::MakeDir(copy);
        const std::string name = data.substr(data.find_last_of("/\\") + 1);
        qf::test::WriteBytes(copy + "/" + name, qf::test::ReadBytes(data));
        std::string err;
        EXPECT_EQ(test::ConvertWithCli(copy, kind, err), 0) << err;
        return qf::test::ReadBytes(copy + "/" + output);
    }

    std::wstring key_;
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
    ConverterOptions options;
    options.services = &services_;
    options.settingsKey = key_;
    ConverterDialog again(options);
    hwnd_ = again.CreateModeless(GetModuleHandleW(nullptr));
    EXPECT_EQ(Checked(), 2);
    DestroyWindow(hwnd_);
}

}  // namespace
}  // namespace qf::win

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
