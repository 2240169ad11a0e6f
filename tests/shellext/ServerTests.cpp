// The server's exports: class object, unloading, registration.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "base/ModulePath.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "shellext/DropHandlerClsid.h"
#include "shellext/ServerFile.h"
#include "tests/engine/TestEnv.h"
#include "tests/shellext/ShellTestEnv.h"

namespace {

// An independent oracle for the registry form of the class identifier.
std::string ClsidText() {
    wchar_t wide[40] = {};
    ::StringFromGUID2(kDropHandlerClsid, wide, 40);
    char text[40] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

// The registry view of this test program's architecture, and the other one (0: the process's own).
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::optional<std::string> Value(HKEY root, const std::string& key, const char* name = "", REGSAM view = 0) {
    const UniqueKey opened = OpenKey(root, key.c_str(), KEY_READ | view);
    if (!opened)
        return std::nullopt;
    return QueryString(opened.Get(), name, 4096);
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view = 0) {
    return static_cast<bool>(OpenKey(root, key.c_str(), KEY_READ | view));
}

// The seven entries, with what each must hold.
void ExpectRegistered(HKEY root, const std::string& progId, const std::string& server, REGSAM view = 0) {
    const std::string clsid = ClsidText();
    const std::string classKey = "CLSID\\" + clsid;
    const std::optional<std::string> description = Value(root, classKey, "", view);
    ASSERT_TRUE(description);
    EXPECT_FALSE(description->empty());
    EXPECT_EQ(Value(root, classKey + "\\InprocServer32", "", view), server);
    EXPECT_EQ(Value(root, progId, "", view), description);
    EXPECT_EQ(Value(root, progId + "\\Clsid", "", view), clsid);
    EXPECT_EQ(Value(root, classKey + "\\ProgID", "", view), progId);
    EXPECT_EQ(Value(root, classKey + "\\InprocServer32", "ThreadingModel", view), "Apartment");
    EXPECT_EQ(Value(root, "Folder\\shellex\\DragDropHandlers\\Kelvane", "", view), clsid);
}

void ExpectUnregistered(HKEY root, const std::string& progId, REGSAM view = 0) {
    const std::string classKey = "CLSID\\" + ClsidText();
    EXPECT_FALSE(KeyExists(root, classKey, view));
    EXPECT_FALSE(KeyExists(root, progId, view));
    EXPECT_FALSE(KeyExists(root, "Folder\\shellex\\DragDropHandlers\\Kelvane", view));
}

// A key under which no lasting key can be made: a volatile one. Stands in for a classes root that
// refuses a standard user.
class RefusingKey {
public:
    RefusingKey() {
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kName, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        key_.Reset(key);
    }
    ~RefusingKey() {
        key_.Reset();
        DeleteKey(HKEY_CURRENT_USER, kName);
    }
    RefusingKey(const RefusingKey&) = delete;
    RefusingKey& operator=(const RefusingKey&) = delete;
    HKEY Get() const { return key_.Get(); }

private:
    static constexpr char kName[] = "Software\\KelvaneTestRefusing";
    UniqueKey key_;
};

// Makes one predefined key stand for another key in this process, for the object's life.
class PredefinedKeyOverride {
public:
    PredefinedKeyOverride(HKEY predefined, HKEY replacement) : predefined_(predefined) {
        EXPECT_EQ(::RegOverridePredefKey(predefined, replacement), ERROR_SUCCESS);
    }
    ~PredefinedKeyOverride() { ::RegOverridePredefKey(predefined_, nullptr); }
    PredefinedKeyOverride(const PredefinedKeyOverride&) = delete;
    PredefinedKeyOverride& operator=(const PredefinedKeyOverride&) = delete;

private:
    HKEY predefined_;
};

// Leaves the registry as it found it, whatever the test's outcome.
class Unregistering {
public:
    explicit Unregistering(const ServerDll& dll) : dll_(dll) {}
    ~Unregistering() { dll_.UnregisterServer(); }
    Unregistering(const Unregistering&) = delete;
    Unregistering& operator=(const Unregistering&) = delete;

private:
    const ServerDll& dll_;
};

class ServerTest : public ::testing::Test {
protected:
    ComApartment apartment;
    ServerDll dll;
};

}  // namespace

TEST_F(ServerTest, CanUnloadOnlyWithoutFactoryReferencesAndObjects) {
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = dll.Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    ComPtr<IContextMenu> handler;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, handler.PutVoid()), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    handler.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);

    // A shell lock holds the server too.
    factory = dll.Factory();
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    IClassFactory* raw = factory.Get();
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(raw->LockServer(FALSE), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

// The shell makes handlers on several apartment threads at once. A count lost between two of them
// would let the module say it can unload while a handler lives, and be unloaded under it.
TEST_F(ServerTest, CountsHoldWhileHandlersComeAndGoOnManyThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::atomic<int> refused = 0;
    const auto comeAndGo = [&] {
        const ComApartment own;
        for (int round = 0; round < kRounds; ++round) {
            ComPtr<IClassFactory> factory;
            ComPtr<IUnknown> handler;
            if (FAILED(dll.GetClassObject(kDropHandlerClsid, IID_IClassFactory, factory.PutVoid())) ||
                FAILED(factory->CreateInstance(nullptr, IID_IUnknown, handler.PutVoid())))
                ++refused;
        }
    };
    // A count is lost only while two threads run at the same moment, which a busy machine seldom
    // allows: the threads go on for a while, or until a count has been lost.
    const ULONGLONG until = ::GetTickCount64() + 3000;
    do {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back(comeAndGo);
        for (std::thread& thread : threads)
            thread.join();
    } while (dll.CanUnloadNow() == S_OK && ::GetTickCount64() < until);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
    ComPtr<IContextMenu> alive = dll.Create<IContextMenu>(IID_IContextMenu);
    ASSERT_TRUE(alive);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    alive.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST_F(ServerTest, ClassObjectOnlyForTheHandlersClass) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(IID_IDataObject, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(kDropHandlerClsid, IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(dll.GetClassObject(kDropHandlerClsid, IID_IUnknown, unknown.PutVoid()), S_OK);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, factory.PutVoid()), S_OK);
    // One factory per module.
    EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), unknown.Get());
    EXPECT_EQ(factory->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&object)), E_NOINTERFACE);
}

TEST_F(ServerTest, CreateInstanceForAnUnknownInterfaceLeavesNoObject) {
    const ComPtr<IClassFactory> factory = dll.Factory();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // The handler cannot be aggregated: it has no separate inner IUnknown.
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ComPtr<IShellExtInit> handler;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, handler.PutVoid()), S_OK);
    handler.Reset();
    // Only the factory reference is left: no object outlived its query.
    IClassFactory* raw = factory.Get();
    raw->AddRef();
    EXPECT_EQ(raw->Release(), 1u);
}

TEST_F(ServerTest, RegistersAndUnregistersTheSevenEntries) {
    const Unregistering cleanup(dll);
    const std::string path = ModulePath(dll.Module());
    ASSERT_EQ(path.find(' '), std::string::npos) << "the build folder must be free of spaces for this test";
    // Both files serve one class under one ProgID. The 32-bit server also registers the 64-bit file
    // beside it, in the 64-bit view, for the 64-bit shell; the 64-bit server registers only itself.
    const auto expectBothViews = [&] {
        if (sizeof(void*) == 4) {
            ExpectRegistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", path, KEY_WOW64_32KEY);
            ExpectRegistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", ProgramFolder() + kServerFileName64,
                             KEY_WOW64_64KEY);
        } else {
            ExpectRegistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", path, KEY_WOW64_64KEY);
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + ClsidText(), KEY_WOW64_32KEY));
        }
    };
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    expectBothViews();
    // Registering again rewrites the same values.
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    expectBothViews();
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        ExpectUnregistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", view);
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
}

// The path is registered whole, also where the code page lacks its characters (a user named José).
TEST_F(ServerTest, ModuleFileNameGivesProgramIdAndQuotedPath) {
    ScratchFolder scratch;
    const std::wstring folder = WideFromUtf8(scratch / "with space Jos") + L"\u00e9";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"\\Other \u8868\ud55c.dll";
    ASSERT_TRUE(::CopyFileW(WideFromUtf8(ModulePath(dll.Module())).c_str(), copy.c_str(), FALSE));
    std::string path, progId;
    ASSERT_TRUE(ExactUtf8(copy, path));
    ASSERT_TRUE(ExactUtf8(L"Other \u8868\ud55c.Kelvane", progId));
    {
        const ServerDll other(path);
        const Unregistering cleanup(other);
        ASSERT_EQ(other.RegisterServer(), S_OK);
        ExpectRegistered(HKEY_CLASSES_ROOT, progId, '"' + path + '"', kOwnView);
        // No other server file beside this one: its own view only.
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + ClsidText(), kOtherView));
        EXPECT_EQ(other.UnregisterServer(), S_OK);
        ExpectUnregistered(HKEY_CLASSES_ROOT, progId);
    }
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST_F(ServerTest, StandardUserRegistersUnderTheirOwnClasses) {
    // A copy with no 64-bit file beside it: the override stands for this process's own view only, and
    // the 32-bit server would write its sibling's entries to the real 64-bit view.
    ScratchFolder alone;
    ASSERT_TRUE(::CopyFileA(ModulePath(dll.Module()).c_str(), (alone / kServerFileName).c_str(), FALSE));
    const ServerDll lone(alone / kServerFileName);
    const Unregistering cleanup(lone);
    const std::string path = ModulePath(lone.Module());
    {
        const RefusingKey refusing;
        const PredefinedKeyOverride classesRoot(HKEY_CLASSES_ROOT, refusing.Get());
        ASSERT_EQ(lone.RegisterServer(), S_OK);
    }
    const UniqueKey userClasses = OpenKey(HKEY_CURRENT_USER, "Software\\Classes", KEY_READ);
    ASSERT_TRUE(userClasses);
    ExpectRegistered(userClasses.Get(), "KelvaneSX.Kelvane", path, kOwnView);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\KelvaneSX.Kelvane"));
    EXPECT_EQ(lone.UnregisterServer(), S_OK);
    ExpectUnregistered(userClasses.Get(), "KelvaneSX.Kelvane", kOwnView);
}

TEST_F(ServerTest, RegistrationFailsWhenNoClassesCanBeWritten) {
    const Unregistering cleanup(dll);
    const RefusingKey refusing;
    const PredefinedKeyOverride classesRoot(HKEY_CLASSES_ROOT, refusing.Get());
    // A user hive without "Software\Classes".
    const PredefinedKeyOverride currentUser(HKEY_CURRENT_USER, refusing.Get());
    EXPECT_EQ(dll.RegisterServer(), E_FAIL);
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
}
