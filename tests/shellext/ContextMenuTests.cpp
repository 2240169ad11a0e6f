// The drop handler as the shell drives it: Initialize, QueryContextMenu, GetCommandString, InvokeCommand.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "base/WideText.h"
#include "tests/engine/TestEnv.h"
#include "tests/handoff/ReceiverWindow.h"
#include "tests/shellext/ShellTestEnv.h"

namespace {

CMINVOKECOMMANDINFO Verb(const char* verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    return info;
}

class ContextMenuTest : public ::testing::Test {
protected:
    ContextMenuTest() {
        std::ofstream(scratch / "pack.lzh") << "not really an archive";
        std::ofstream(scratch / "real.txt") << "a file";
    }

    // Initialises a new handler for a drop of `data` onto the scratch folder.
    HRESULT Initialize(IDataObject* data) {
        init = dll.Create<IShellExtInit>(IID_IShellExtInit);
        EXPECT_TRUE(init);
        if (!init || FAILED(init->QueryInterface(IID_IContextMenu, menu.PutVoid())))
            return E_UNEXPECTED;
        return init->Initialize(target.Get(), data, nullptr);
    }

    ComApartment apartment;
    ServerDll dll;
    ScratchFolder scratch;
    UniqueIdList target{::ILCreateFromPathA(scratch.Path().c_str())};
    const std::vector<std::string> archivePaths = {scratch / "pack.lzh\\docs\\inner.zip\\readme.txt",
                                                   scratch / "pack.lzh\\表.txt"};
    ComPtr<IShellExtInit> init;
    ComPtr<IContextMenu> menu;
};

}  // namespace

TEST_F(ContextMenuTest, OffersTheEntryForPathsIntoArchives) {
    const ComPtr<TestDataObject> data = TestDataObject::WithPaths(archivePaths);
    ASSERT_EQ(Initialize(data.Get()), S_OK);
    UniqueMenu popup(::CreatePopupMenu());
    ::AppendMenuA(popup.Get(), MF_STRING, 1, "first");
    ::AppendMenuA(popup.Get(), MF_STRING, 2, "second");
    EXPECT_EQ(menu->QueryContextMenu(popup.Get(), 1, 500, 600, CMF_NORMAL), 1);
    EXPECT_EQ(::GetMenuItemCount(popup.Get()), 3);
    EXPECT_EQ(::GetMenuItemID(popup.Get(), 1), 500u);
    char text[64] = {};
    ::GetMenuStringA(popup.Get(), 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::string(text), "ここに解凍(&E)");
    EXPECT_EQ(std::string(text, 2), "\x82\xB1");
    wchar_t wide[64] = {};
    ::GetMenuStringW(popup.Get(), 1, wide, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(wide), L"\u3053\u3053\u306b\u89e3\u51cd(&E)");
}

TEST_F(ContextMenuTest, DeclinesDropsThatAreNotIntoArchives) {
    std::vector<std::string> withRealFile = archivePaths;
    withRealFile.push_back(scratch / "real.txt");
    const ComPtr<TestDataObject> data = TestDataObject::WithPaths(withRealFile);
    EXPECT_EQ(Initialize(data.Get()), E_FAIL);
    // Declined drops keep nothing.
    EXPECT_EQ(data->References(), 1u);

    const ComPtr<TestDataObject> good = TestDataObject::WithPaths(archivePaths);
    EXPECT_EQ(Initialize(nullptr), E_FAIL);
    EXPECT_EQ(init->Initialize(nullptr, good.Get(), nullptr), E_FAIL);
    good->FailFrom = 1;
    EXPECT_EQ(init->Initialize(target.Get(), good.Get(), nullptr), E_FAIL);

    // A folder outside the file system.
    PIDLIST_ABSOLUTE drives = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
    const UniqueIdList virtualFolder(drives);
    const ComPtr<TestDataObject> other = TestDataObject::WithPaths(archivePaths);
    EXPECT_EQ(init->Initialize(virtualFolder.Get(), other.Get(), nullptr), E_FAIL);
    EXPECT_EQ(other->References(), 1u);
}

TEST_F(ContextMenuTest, ReadsOnlyWhatTheDropListHolds) {
    // The header points past the block.
    std::vector<char> bytes = DropListBytes(archivePaths, false);
    const DWORD pastTheEnd = static_cast<DWORD>(bytes.size() + 1);
    std::memcpy(bytes.data(), &pastTheEnd, sizeof pastTheEnd);
    EXPECT_EQ(Initialize(TestDataObject::WithBytes(bytes).Get()), E_FAIL);
    // Shorter than the header.
    EXPECT_EQ(Initialize(TestDataObject::WithBytes({20, 0, 0}).Get()), E_FAIL);
    // A medium of another kind.
    const ComPtr<TestDataObject> data = TestDataObject::WithPaths(archivePaths);
    data->Medium = TYMED_NULL;
    EXPECT_EQ(Initialize(data.Get()), E_FAIL);

    // Without its terminators a list gives the paths that end inside it: here the first one.
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    for (const bool wide : {false, true}) {
        bytes = DropListBytes({archivePaths[0], "D:\\unfinished"}, wide);
        bytes.resize(bytes.size() - (wide ? 6 : 3));
        ASSERT_EQ(Initialize(TestDataObject::WithBytes(bytes).Get()), S_OK);
        CMINVOKECOMMANDINFO info = Verb(nullptr);
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
        DispatchPosted();
    }
    ASSERT_EQ(window.Accepted.size(), 2u);
    for (const THandOffRequest& request : window.Accepted)
        EXPECT_EQ(request.Paths, std::vector<std::string>{archivePaths[0]});
}

TEST_F(ContextMenuTest, InvokeHandsFolderAndPathsToTheProgram) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    // Paths into archives go whole, however far past 260 bytes, from either form of the list.
    std::vector<std::string> paths = archivePaths;
    paths.push_back(scratch / "pack.lzh\\" + LongMemberPath());
    for (const bool wide : {false, true}) {
        const ComPtr<TestDataObject> data = TestDataObject::WithPaths(paths, wide);
        ASSERT_EQ(Initialize(data.Get()), S_OK);
        CMINVOKECOMMANDINFO info = Verb(nullptr);
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
        DispatchPosted();
    }
    ASSERT_EQ(window.Accepted.size(), 2u);
    for (const THandOffRequest& request : window.Accepted) {
        EXPECT_EQ(request.Folder, scratch.Path());
        EXPECT_EQ(request.Paths, paths);
    }
}

// Names outside the code page, of the paths and of the target folder, reach the program whole; a
// code page 932 name comes back to its own bytes.
TEST_F(ContextMenuTest, NamesTravelWholeInTheUnicodeBlock) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    const std::wstring folder = WideFromAnsi(scratch.Path()) + L"\\Jos\u00e9";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const UniqueIdList folderList(::ILCreateFromPathW(folder.c_str()));
    const std::vector<std::wstring> paths = {WideFromAnsi(archivePaths[1]),
                                             WideFromAnsi(scratch / "pack.lzh\\") + L"\u00e9t\u00e9\\\ud55c\uad6d.txt"};
    init = dll.Create<IShellExtInit>(IID_IShellExtInit);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.PutVoid()), S_OK);
    const HRESULT initialized =
        init->Initialize(folderList.Get(), TestDataObject::WithBytes(DropListBytes(paths)).Get(), nullptr);
    ::RemoveDirectoryW(folder.c_str());
    ASSERT_EQ(initialized, S_OK);
    CMINVOKECOMMANDINFO info = Verb(nullptr);
    EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    DispatchPosted();
    ASSERT_EQ(window.AcceptedWide.size(), 1u);
    EXPECT_EQ(window.AcceptedWide[0].Folder, folder);
    EXPECT_EQ(window.AcceptedWide[0].Paths, paths);
    EXPECT_EQ(window.Accepted[0].Paths[0], archivePaths[1]);
}

TEST_F(ContextMenuTest, EmptyDropListSendsABlockWithoutPaths) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    ASSERT_EQ(Initialize(TestDataObject::WithPaths({}).Get()), S_OK);
    CMINVOKECOMMANDINFO info = Verb(nullptr);
    EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    ASSERT_EQ(window.Pending.Count(), 1u);
    // The Unicode form: the folder's units and zero, the count, the end.
    EXPECT_EQ(window.Pending.TakeOldest()->size(), 2 * (WideFromAnsi(scratch.Path()).size() + 1) + 10);
}

TEST_F(ContextMenuTest, InvokeRefusesWhatItCannotCarryOut) {
    TestWindowClass windowClass;
    TestReceiverWindow window(windowClass);
    // Never initialised: no data object to touch.
    init = dll.Create<IShellExtInit>(IID_IShellExtInit);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.PutVoid()), S_OK);
    CMINVOKECOMMANDINFO info = Verb(nullptr);
    EXPECT_EQ(menu->InvokeCommand(&info), E_FAIL);

    const ComPtr<TestDataObject> data = TestDataObject::WithPaths(archivePaths);
    ASSERT_EQ(Initialize(data.Get()), S_OK);
    info = Verb("extract");
    EXPECT_EQ(menu->InvokeCommand(&info), E_FAIL);
    info = Verb(MAKEINTRESOURCEA(1));
    EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
    data->FailFrom = data->Requests + 1;
    data->FailWith = DV_E_TYMED;
    info = Verb(nullptr);
    EXPECT_EQ(menu->InvokeCommand(&info), DV_E_TYMED);
    EXPECT_EQ(window.HandOffMessages, 0);
}

TEST_F(ContextMenuTest, InvokeSucceedsWithoutTheProgram) {
    const ComPtr<TestDataObject> data = TestDataObject::WithPaths(archivePaths);
    ASSERT_EQ(Initialize(data.Get()), S_OK);
    CMINVOKECOMMANDINFO info = Verb(nullptr);
    EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    EXPECT_EQ(data->Requests, 2);
}

// The help text in the form asked for: code page 932 bytes or UTF-16. The entry has no verb: it is
// invoked by its place in the menu only.
TEST_F(ContextMenuTest, HelpTextInEitherFormAndNoVerb) {
    ASSERT_EQ(Initialize(TestDataObject::WithPaths(archivePaths).Get()), S_OK);
    const std::string help = "Susie Plug-in を用いて解凍";
    ASSERT_EQ(help.size(), 26u);
    char buffer[80];
    EXPECT_EQ(menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, buffer, sizeof buffer), E_INVALIDARG);

    std::fill(std::begin(buffer), std::end(buffer), '\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, 10), S_OK);
    EXPECT_EQ(std::string(buffer, 11), help.substr(0, 9) + '\0' + '\x7f');

    std::fill(std::begin(buffer), std::end(buffer), '\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, 64), S_OK);
    EXPECT_EQ(std::string(buffer, 65), help + std::string(38, '\0') + '\x7f');

    std::fill(std::begin(buffer), std::end(buffer), '\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, 0), S_OK);
    EXPECT_EQ(buffer[0], '\x7f');

    const std::wstring wideHelp = L"Susie Plug-in を用いて解凍";
    wchar_t wide[40];
    const auto wideName = reinterpret_cast<CHAR*>(wide);
    std::fill(std::begin(wide), std::end(wide), L'\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, wideName, 32), S_OK);
    EXPECT_EQ(std::wstring(wide, 33), wideHelp + std::wstring(12, L'\0') + L'\x7f');
    std::fill(std::begin(wide), std::end(wide), L'\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, wideName, 17), S_OK);
    EXPECT_EQ(std::wstring(wide, 18), wideHelp.substr(0, 16) + L'\0' + L'\x7f');

    // No verb in either form, and an empty one for a caller that reads the buffer all the same.
    std::fill(std::begin(buffer), std::end(buffer), '\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, buffer, 64), E_NOTIMPL);
    EXPECT_EQ(buffer[0], '\0');
    std::fill(std::begin(wide), std::end(wide), L'\x7f');
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBW, nullptr, wideName, 32), E_NOTIMPL);
    EXPECT_EQ(wide[0], L'\0');
    EXPECT_EQ(menu->GetCommandString(0, GCS_VALIDATEW, nullptr, nullptr, 0), S_OK) << "the command is there";
}

TEST_F(ContextMenuTest, InterfacesAndReferences) {
    const ComPtr<TestDataObject> first = TestDataObject::WithPaths(archivePaths);
    ASSERT_EQ(Initialize(first.Get()), S_OK);
    EXPECT_EQ(first->References(), 2u);

    for (const IID* iid : {&IID_IUnknown, &IID_IShellExtInit, &IID_IContextMenu, &IID_ISupportErrorInfo}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(menu->QueryInterface(*iid, answer.PutVoid()), S_OK);
        EXPECT_TRUE(answer);
    }
    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(menu->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    // init and menu hold one each.
    EXPECT_EQ(menu->AddRef(), 3u);
    EXPECT_EQ(menu->Release(), 2u);

    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(menu->QueryInterface(IID_ISupportErrorInfo, errors.PutVoid()), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IContextMenu), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IUnknown), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDataObject), S_FALSE);
    errors.Reset();

    // A later Initialize replaces the data object; the last reference frees the handler and it.
    const ComPtr<TestDataObject> second = TestDataObject::WithPaths(archivePaths);
    ASSERT_EQ(init->Initialize(target.Get(), second.Get(), nullptr), S_OK);
    EXPECT_EQ(first->References(), 1u);
    EXPECT_EQ(second->References(), 2u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    init.Reset();
    menu.Reset();
    EXPECT_EQ(second->References(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}
