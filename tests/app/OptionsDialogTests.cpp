#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <iterator>

#include "app/AppState.h"
#include "app/Destination.h"
#include "app/Identifiers.h"
#include "app/OptionsDialog.h"
#include "base/ModulePath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "engine/PluginSettings.h"
#include "engine/SusieSettings.h"
#include "tests/app/WindowTestEnv.h"
#include "tests/engine/TestEnv.h"

namespace {

// The plug-ins' folder as a user meets it: what became of each plug-in in the options dialog, and a
// folder chosen in Kelvane that holds over Susie's from the next job on.
class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { StartCleanWindowTest(); }
    void TearDown() override { EndWindowTest(); }

    HWND Start() {
        HWND window = CreateTestMainWindow();
        EXPECT_TRUE(SetDestinationFolder(window, out.Path()));
        return window;
    }
    // Runs the jobs one after the other, as the user's extract-all would.
    static void RunJobs(HWND window, const std::vector<std::string>& sources) {
        for (const std::string& source : sources) {
            DropPaths(window, {source});
            ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, 0), 0);
            PumpUntil([] { return App().Queue->Count() == 0 && !App().Worker.Busy() && !App().Running; });
        }
    }
    static std::string Cell(HWND list, int item, int column) {
        wchar_t text[512] = {};
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = text;
        cell.cchTextMax = static_cast<int>(std::size(text));
        ::SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
        std::string utf8;
        ExactUtf8(text, utf8);
        return utf8;
    }
    static std::string Rows(HWND list) {
        std::string rows;
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            rows += Cell(list, i, 0) + ": " + Cell(list, i, 2) + "\n";
        return rows;
    }
    static int Item(HWND list, const std::string& fileName) {
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            if (Cell(list, i, 0) == fileName)
                return i;
        return -1;
    }
    // Until cond holds; false after 20 s. Off the dialog's thread, which goes on answering.
    static bool Within(const std::function<bool()>& cond) {
        const ULONGLONG until = ::GetTickCount64() + 20000;
        while (!cond() && ::GetTickCount64() < until)
            ::Sleep(20);
        return cond();
    }

    SusieSettings susie;
    ScratchFolder out;
};

TEST_F(OptionsDialogTest, ShowsWhatBecameOfEveryPluginAndSwitchesThemInKelvanesOwnSettings) {
    PluginFolder folder({"tar.spi", "zip.spi", "stub128.spi", "crash.spi", "faulty\\wrongtype.spi",
                         "faulty\\infocrash.spi", "quirky\\memcrash.spi", "quirky\\memcrashunlisted.spi",
                         "own-settings\\settings.spi"});
    ASSERT_TRUE(::CopyFileA(SamplePlugin("zip.sph").c_str(), (folder / "wide.spi").c_str(), FALSE));
    susie.SetPath(folder.Path());
    const DWORD off = 0;
    susie.SetActivate("stub128.spi", REG_DWORD, &off, sizeof off);
    HWND window = Start();
    // What the job hosts learn: one crashes twice, one refuses archives in memory, one crashes on them.
    RunJobs(window, {TestData("broken.crash\\a.txt"), TestData("broken.crash\\b.txt"),
                     TestData("levels.tar\\inner.mzip\\pack\\deeper.mzip\\small.txt"),
                     TestData("levels.tar\\inner.vzip\\pack\\deeper.vzip\\docs\\readme.txt")});
    ASSERT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
    ASSERT_TRUE(SameContents(out / "readme.txt", TestData("expect\\readme.txt")));

    const std::vector<std::pair<const char*, const char*>> expected = {
        {"tar.spi", "読み込み済み"},
        {"zip.spi", "読み込み済み"},
        {"stub128.spi", "オフ (Susie の設定)"},
        {"crash.spi", "除外 (2 回異常終了しました)"},
        {"wrongtype.spi", "アーカイブ用ではありません (種類 00IN)"},
        {"infocrash.spi", "読み込めません (問い合わせ中に異常終了しました)"},
        {"wide.spi", "読み込めません ("},
        {"memcrash.spi", "一時ファイル経由 (メモリー上のアーカイブを受け付けません)"},
        {"memcrashunlisted.spi", "一時ファイル経由 (メモリー上のアーカイブで異常終了しました)"},
        {"settings.spi", "読み込み済み"},
    };
    const auto seen = [&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_PLUGINLIST);
        EXPECT_TRUE(Within([&] {
            for (const auto& [file, state] : expected)
                if (Item(list, file) < 0 || Cell(list, Item(list, file), 2).rfind(U(state), 0) != 0)
                    return false;
            return true;
        })) << Rows(list);
        EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 10);
        EXPECT_EQ(Cell(list, Item(list, "wide.spi"), 1), "64");
        EXPECT_EQ(Cell(list, Item(list, "zip.spi"), 3), "*.zip (ZIP archive)");
        EXPECT_EQ(Cell(list, Item(list, "zip.spi"), 4), "Kelvane sample ZIP plug-in");

        // Switched off here: Kelvane's own value, never Susie's; Susie's own stays as it is.
        const int settings = Item(list, "settings.spi");
        ListView_SetCheckState(list, settings, FALSE);
        EXPECT_TRUE(Within([&] { return Cell(list, settings, 2) == U("オフ (Kelvane の設定)"); }));
        const UniqueKey own = OpenKey(HKEY_CURRENT_USER, kOwnActivateKey, KEY_QUERY_VALUE);
        EXPECT_EQ(QueryDword(own.Get(), "settings.spi"), std::optional<DWORD>(0));
        const UniqueKey susies = OpenKey(HKEY_CURRENT_USER, kSusieActivateKey, KEY_QUERY_VALUE);
        EXPECT_FALSE(QueryDword(susies.Get(), "settings.spi").has_value());
        const int stub = Item(list, "stub128.spi");
        ListView_SetCheckState(list, stub, TRUE);
        EXPECT_FALSE(ListView_GetCheckState(list, stub));
        EXPECT_EQ(QueryDword(susies.Get(), "stub128.spi"), std::optional<DWORD>(0));

        // Its own settings, in a host, owned by this dialog.
        ListView_SetItemState(list, settings, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        HWND button = ::GetDlgItem(dialog, IDC_PLUGINSETTINGS);
        EXPECT_TRUE(::IsWindowEnabled(button));
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLUGINSETTINGS, BN_CLICKED), 0);
        HWND box = nullptr;
        EXPECT_TRUE(Within([&] { return (box = ::FindWindowA("#32770", "Kelvane sample settings")) != nullptr; }));
        DWORD process = 0;
        ::GetWindowThreadProcessId(box, &process);
        EXPECT_NE(process, ::GetCurrentProcessId());
        EXPECT_EQ(::GetWindow(box, GW_OWNER), dialog);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(Within([&] { return ::IsWindowEnabled(button); }));
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    };
    EXPECT_TRUE(WhileShown("#32770", "オプション", seen, [&] { ShowOptions(window); }));

    // Switched off in the dialog, a plug-in that the warm host holds is gone from the next job.
    const std::string big = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\big.bin");
    RunJobs(window, {big});
    ASSERT_TRUE(SameContents(out / "big.bin", TestData("expect\\big.bin")));
    ASSERT_TRUE(::DeleteFileA((out / "big.bin").c_str()));
    EXPECT_TRUE(WhileShown("#32770", "オプション", [&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_PLUGINLIST);
        EXPECT_TRUE(Within([&] { return Item(list, "zip.spi") >= 0; }));
        ListView_SetCheckState(list, Item(list, "zip.spi"), FALSE);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }, [&] { ShowOptions(window); }));
    RunJobs(window, {big});
    EXPECT_EQ(::GetFileAttributesA((out / "big.bin").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(OptionsDialogTest, AFolderChosenInKelvaneHoldsOverSusiesFromTheNextJob) {
    HWND window = Start();
    // No folder anywhere: the failure says where Kelvane looked, and how to point it elsewhere.
    const std::string nested = TestData("outer.zip\\mid.tar\\pack\\inner.zip\\small.txt");
    RunJobs(window, {nested});
    PumpUntil([] { return App().BalloonsShown == 1; });
    const std::string balloon = TrayText(App().Tray.szInfo);
    EXPECT_NE(balloon.find(ProgramFolder() + "plugins"), std::string::npos) << balloon;
    EXPECT_NE(balloon.find("ｵﾌﾟｼｮﾝ"), std::string::npos) << balloon;

    PluginFolder susies({"tar.spi"});
    PluginFolder chosen({"zip.spi", "tar.spi"});
    susie.SetPath(susies.Path());
    ASSERT_TRUE(ChoosePluginFolder(chosen.Path()));
    // The hosts that held the first set end before this job, which finds the chosen folder's.
    RunJobs(window, {nested});
    EXPECT_TRUE(SameContents(out / "small.txt", TestData("expect\\small.txt")));
}

}  // namespace
