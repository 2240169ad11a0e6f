// What a drag out of the browser hands the place it is dropped on: a right-drag the members' paths,
// a left-drag each member's name, size and time and a stream of its bytes, taken out through the
// plug-in hosts only when read.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "app/BrowserDrag.h"
#include "base/DropFiles.h"
#include "base/ModulePath.h"
#include "base/WideText.h"
#include "jobs/PluginHosts.h"
#include "tests/engine/TestEnv.h"

namespace {

class THostsSource final : public TMemberSource {
public:
    TExtractOutcome TakeOut(const std::string& source, const std::string& destination) override {
        ++Taken;
        return Hosts->Extract(source, destination);
    }
    std::unique_ptr<TPluginHosts> Hosts = TPluginHosts::Beside(ProgramFolder());
    int Taken = 0;
};

FORMATETC FormatOf(const char* name, DWORD tymed, LONG index = -1) {
    return {static_cast<CLIPFORMAT>(::RegisterClipboardFormatA(name)), nullptr, DVASPECT_CONTENT, index, tymed};
}

TEST(BrowserDrag, ARightDragCarriesPathsAndALeftDragTheFilesTakenOutWhenRead) {
    SusieSettings susie;
    susie.SetPath(SamplePlugin(""));
    THostsSource source;
    const std::string inner = TestData("outer.zip\\mid.tar\\pack\\inner.zip");
    const std::vector<TDraggedMember> members = {{inner + "\\small.txt", "small.txt", 14, 1700000000},
                                                 {inner + "\\big.bin", "big.bin", 200000, 1700000000}};

    ComPtr<IDataObject> paths = MemberDataObject(members, true, source);
    FORMATETC drop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    UniqueStgMedium list;
    ASSERT_EQ(list.Fetch(paths.Get(), drop), S_OK);
    std::vector<std::wstring> dropped;
    ASSERT_TRUE(ReadDropFiles(::GlobalLock(list.Get().hGlobal), ::GlobalSize(list.Get().hGlobal), dropped));
    ::GlobalUnlock(list.Get().hGlobal);
    EXPECT_EQ(dropped, (std::vector<std::wstring>{WideFromUtf8(members[0].Path), WideFromUtf8(members[1].Path)}));
    FORMATETC descriptors = FormatOf(CFSTR_FILEDESCRIPTORW, TYMED_HGLOBAL);
    EXPECT_NE(paths->QueryGetData(&descriptors), S_OK) << "a right-drag offers no files";

    ComPtr<IDataObject> files = MemberDataObject(members, false, source);
    EXPECT_NE(files->QueryGetData(&drop), S_OK) << "the shell would copy paths that are no files";
    UniqueStgMedium group;
    ASSERT_EQ(group.Fetch(files.Get(), descriptors), S_OK);
    const auto* described = static_cast<const FILEGROUPDESCRIPTORW*>(::GlobalLock(group.Get().hGlobal));
    ASSERT_EQ(described->cItems, 2u);
    EXPECT_EQ(std::wstring(described->fgd[1].cFileName), L"big.bin");
    EXPECT_EQ(described->fgd[1].nFileSizeLow, 200000u);
    ::GlobalUnlock(group.Get().hGlobal);
    EXPECT_EQ(source.Taken, 0) << "nothing is taken out before a stream is read";

    FORMATETC contents = FormatOf(CFSTR_FILECONTENTS, TYMED_ISTREAM, 1);
    UniqueStgMedium stream;
    ASSERT_EQ(stream.Fetch(files.Get(), contents), S_OK);
    std::string bytes;
    char buffer[65536];
    ULONG read = 0;
    while (SUCCEEDED(stream.Get().pstm->Read(buffer, sizeof buffer, &read)) && read > 0)
        bytes.append(buffer, read);
    EXPECT_EQ(source.Taken, 1);
    ScratchFolder out;
    ASSERT_TRUE(source.Hosts->Extract(members[1].Path, out / "big.bin").Succeeded());
    EXPECT_EQ(bytes, ReadWholeFile(out / "big.bin"));
    FORMATETC beyond = FormatOf(CFSTR_FILECONTENTS, TYMED_ISTREAM, 2);
    UniqueStgMedium none;
    EXPECT_EQ(none.Fetch(files.Get(), beyond), DV_E_LINDEX);
    source.Hosts->Terminate();
}

}  // namespace
