// The server's exports: class object, unloading, registration.
#include <gtest/gtest.h>

#include <optional>

#include "base/ModulePath.h"
#include "base/Registry.h"
#include "shellext/DropHandlerClsid.h"
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

std::optional<std::string> Value(HKEY root, const std::string& key, const char* name = "") {
    const UniqueKey opened = OpenKey(root, key.c_str(), KEY_READ);
    if (!opened)
        return std::nullopt;
    return QueryString(opened.Get(), name, 4096);
}

bool KeyExists(HKEY root, const std::string& key) {
    return static_cast<bool>(OpenKey(root, key.c_str(), KEY_READ));
}

// The seven entries, with what each must hold.
void ExpectRegistered(HKEY root, const std::string& progId, const std::string& server) {
    const std::string clsid = ClsidText();
    const std::string classKey = "CLSID\\" + clsid;
    const std::optional<std::string> description = Value(root, classKey);
    ASSERT_TRUE(description);
    EXPECT_FALSE(description->empty());
    EXPECT_EQ(Value(root, classKey + "\\InprocServer32"), server);
    EXPECT_EQ(Value(root, progId), description);
    EXPECT_EQ(Value(root, progId + "\\Clsid"), clsid);
    EXPECT_EQ(Value(root, classKey + "\\ProgID"), progId);
    EXPECT_EQ(Value(root, classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Value(root, "Folder\\shellex\\DragDropHandlers\\Kelvane"), clsid);
}

void ExpectUnregistered(HKEY root, const std::string& progId) {
    const std::string classKey = "CLSID\\" + ClsidText();
    EXPECT_FALSE(KeyExists(root, classKey));
    EXPECT_FALSE(KeyExists(root, progId));
    EXPECT_FALSE(KeyExists(root, "Folder\\shellex\\DragDropHandlers\\Kelvane"));
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
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    ExpectRegistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", path);
    // Registering again rewrites the same values.
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    ExpectRegistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane", path);
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    ExpectUnregistered(HKEY_CLASSES_ROOT, "KelvaneSX.Kelvane");
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
}

TEST_F(ServerTest, ModuleFileNameGivesProgramIdAndQuotedPath) {
    ScratchFolder scratch;
    const std::string folder = scratch / "with space";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string copy = folder + "\\Other 表.dll";
    ASSERT_TRUE(::CopyFileA(ModulePath(dll.Module()).c_str(), copy.c_str(), FALSE));
    {
        const ServerDll other(copy);
        const Unregistering cleanup(other);
        const std::string path = ModulePath(other.Module());
        ASSERT_EQ(other.RegisterServer(), S_OK);
        ExpectRegistered(HKEY_CLASSES_ROOT, "Other 表.Kelvane", '"' + path + '"');
        EXPECT_EQ(other.UnregisterServer(), S_OK);
        ExpectUnregistered(HKEY_CLASSES_ROOT, "Other 表.Kelvane");
    }
    ::DeleteFileA(copy.c_str());
}

TEST_F(ServerTest, StandardUserRegistersUnderTheirOwnClasses) {
    const Unregistering cleanup(dll);
    const std::string path = ModulePath(dll.Module());
    {
        const RefusingKey refusing;
        const PredefinedKeyOverride classesRoot(HKEY_CLASSES_ROOT, refusing.Get());
        ASSERT_EQ(dll.RegisterServer(), S_OK);
    }
    const UniqueKey userClasses = OpenKey(HKEY_CURRENT_USER, "Software\\Classes", KEY_READ);
    ASSERT_TRUE(userClasses);
    ExpectRegistered(userClasses.Get(), "KelvaneSX.Kelvane", path);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\KelvaneSX.Kelvane"));
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    ExpectUnregistered(userClasses.Get(), "KelvaneSX.Kelvane");
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
