#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/Settings.h"
#include "base/WideText.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }
    void Put(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, name, type, data, size), ERROR_SUCCESS);
    }
    void PutInt(const char* name, int value) { Put(name, REG_DWORD, &value, sizeof value); }
    void PutText(const char* name, DWORD type, const std::string& text) {
        Put(name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    static std::string CurrentDirectory() {
        wchar_t current[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, current);
        std::string utf8;
        ExactUtf8(current, utf8);
        return utf8;
    }
};

TEST_F(SettingsTest, MissingKeyGivesTheDefaults) {
    const TSettings settings = LoadSettings();
    EXPECT_EQ(settings.Left, CW_USEDEFAULT);
    EXPECT_EQ(settings.Top, CW_USEDEFAULT);
    EXPECT_EQ(settings.Width, CW_USEDEFAULT);
    EXPECT_EQ(settings.Height, CW_USEDEFAULT);
    EXPECT_EQ(settings.Mode, 0);
    EXPECT_FALSE(settings.Visible);
    EXPECT_EQ(settings.DestDir, CurrentDirectory());
}

TEST_F(SettingsTest, EachValueFallsBackAloneWhenOutOfRangeOrOfAnotherType) {
    PutInt("Left", 40000);
    PutInt("Top", -200);
    PutInt("Width", 0);
    PutInt("Height", -1);
    PutInt("Mode", 2);
    PutText("Visible", REG_SZ, "1");
    const TSettings settings = LoadSettings();
    EXPECT_EQ(settings.Left, CW_USEDEFAULT);
    EXPECT_EQ(settings.Top, -200);
    EXPECT_EQ(settings.Width, 0);
    EXPECT_EQ(settings.Height, CW_USEDEFAULT);
    EXPECT_EQ(settings.Mode, 0);
    EXPECT_FALSE(settings.Visible);
    PutInt("Mode", 1);
    PutInt("Visible", 1);
    EXPECT_EQ(LoadSettings().Mode, 1);
    EXPECT_TRUE(LoadSettings().Visible);
}

TEST_F(SettingsTest, DestDirMustBeAShortEnoughPlainString) {
    // As older versions wrote it, in the code page.
    PutText("DestDir", REG_SZ, "C:\\表\\out");
    EXPECT_EQ(LoadSettings().DestDir, Utf8Text("C:\\表\\out"));
    PutText("DestDir", REG_EXPAND_SZ, "%TEMP%");
    EXPECT_EQ(LoadSettings().DestDir, CurrentDirectory());
    PutText("DestDir", REG_SZ, std::string(259, 'd'));
    EXPECT_EQ(LoadSettings().DestDir, std::string(259, 'd'));
    PutText("DestDir", REG_SZ, std::string(260, 'd'));
    EXPECT_EQ(LoadSettings().DestDir, CurrentDirectory());
    PutText("DestDir", REG_SZ, "");
    EXPECT_EQ(LoadSettings().DestDir, CurrentDirectory());
}

TEST_F(SettingsTest, SaveThenLoadRoundTrips) {
    HWND window = ::CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 30, 40, 300, 200, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    App().Worker.RunMode = kPaused;
    App().DestinationFolder = Utf8Text("C:\\表\\saved");
    SaveSettings(window);
    ::DestroyWindow(window);
    App().Worker.RunMode = kContinuous;
    App().DestinationFolder.clear();

    const TSettings settings = LoadSettings();
    EXPECT_EQ(settings.Left, 30);
    EXPECT_EQ(settings.Top, 40);
    EXPECT_EQ(settings.Width, 300);
    EXPECT_EQ(settings.Height, 200);
    EXPECT_EQ(settings.Mode, kPaused);
    EXPECT_FALSE(settings.Visible);
    EXPECT_EQ(settings.DestDir, Utf8Text("C:\\表\\saved"));
    EXPECT_EQ(RegReadInt(kSettingsKey, "WindowState", -1), SW_SHOWNORMAL);
}

// A folder the code page lacks characters of is kept whole, as a plain string other programs read.
TEST_F(SettingsTest, DestDirOutsideTheCodePageRoundTrips) {
    const std::wstring wide = L"C:\\Users\\Jos\u00e9\\\ud55c\uae00";
    std::string folder;
    ASSERT_TRUE(ExactUtf8(wide, folder));
    HWND window = ::CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 30, 40, 300, 200, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    App().DestinationFolder = folder;
    SaveSettings(window);
    ::DestroyWindow(window);

    wchar_t stored[MAX_PATH] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Ombrik\\Kelvane", L"DestDir", RRF_RT_REG_SZ, nullptr,
                             stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), wide);
    EXPECT_EQ(LoadSettings().DestDir, folder);
}

}  // namespace
