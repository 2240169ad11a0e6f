#include "app/BrowserDrag.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "base/DropFiles.h"
#include "base/Owned.h"
#include "base/TimeText.h"
#include "base/WideText.h"
#include "engine/Temporary.h"

namespace {

// IUnknown for one interface besides IUnknown, counted.
template <typename TInterface>
class TUnknown : public TInterface {
public:
    virtual ~TUnknown() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(TInterface))) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<TInterface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&References)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&References);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG References = 1;
};

// The member's bytes, taken out into a temporary file on the first read and read from there; the
// file goes with the stream.
class TMemberStream final : public TUnknown<IStream> {
public:
    TMemberStream(TDraggedMember member, TMemberSource& source) : Member(std::move(member)), Source(source) {}
    ~TMemberStream() override {
        File.Reset();
        if (!Temporary.empty())
            ::DeleteFileW(WideFromUtf8(Temporary).c_str());
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
        if (read)
            *read = 0;
        if (!Ready())
            return STG_E_READFAULT;
        DWORD got = 0;
        if (!::ReadFile(File.Get(), buffer, count, &got, nullptr))
            return STG_E_READFAULT;
        if (read)
            *read = got;
        return got < count ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        if (!Ready())
            return STG_E_READFAULT;
        LARGE_INTEGER now = {};
        if (!::SetFilePointerEx(File.Get(), move, &now, origin))
            return STG_E_INVALIDFUNCTION;
        if (position)
            position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        *stat = {};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = Member.Size;
        stat->mtime = FileTimeOfUnix(Member.Time);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    // Taken out once, on a thread of its own: this thread may be the window's, which waits pumping
    // its messages, so that it answers all the while.
    bool Ready() {
        if (Tried)
            return static_cast<bool>(File);
        Tried = true;
        DWORD error = 0;
        TNewFile reserved = CreateUniqueFile(UserTemporaryFolder(), ".drag", FILE_ATTRIBUTE_TEMPORARY, error);
        if (reserved.Path.empty())
            return false;
        reserved.Handle.Reset();
        Temporary = reserved.Path;
        UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!done)
            return false;
        bool taken = false;
        std::thread worker([&] {
            taken = Source.TakeOut(Member.Path, Temporary).Succeeded();
            ::SetEvent(done.Get());
        });
        DWORD signaled = 0;
        HANDLE handles[] = {done.Get()};
        // Outside an apartment there are no calls to dispatch: a plain wait does.
        if (::CoWaitForMultipleHandles(COWAIT_DISPATCH_CALLS, INFINITE, 1, handles, &signaled) != S_OK)
            ::WaitForSingleObject(done.Get(), INFINITE);
        worker.join();
        if (taken)
            File.Reset(::CreateFileW(WideFromUtf8(Temporary).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return static_cast<bool>(File);
    }

    TDraggedMember Member;
    TMemberSource& Source;
    std::string Temporary;
    UniqueHandle File;
    bool Tried = false;
};

// The shell's formats by their names (this program is built without UNICODE, so the names are narrow).
UINT Format(const char* name) {
    return ::RegisterClipboardFormatA(name);
}

HGLOBAL GlobalOf(const void* bytes, size_t size) {
    HGLOBAL global = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (global) {
        std::memcpy(::GlobalLock(global), bytes, size);
        ::GlobalUnlock(global);
    }
    return global;
}

class TMemberData final : public TUnknown<IDataObject> {
public:
    TMemberData(std::vector<TDraggedMember> members, bool paths, TMemberSource& source)
        : Members(std::move(members)), Paths(paths), Source(source) {
        if (Paths) {
            Formats.push_back({CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        } else {
            Formats.push_back({static_cast<CLIPFORMAT>(Format(CFSTR_FILEDESCRIPTORW)), nullptr, DVASPECT_CONTENT, -1,
                               TYMED_HGLOBAL});
            Formats.push_back(
                {static_cast<CLIPFORMAT>(Format(CFSTR_FILECONTENTS)), nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM});
        }
        Formats.push_back({static_cast<CLIPFORMAT>(Format(CFSTR_PREFERREDDROPEFFECT)), nullptr, DVASPECT_CONTENT, -1,
                           TYMED_HGLOBAL});
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium)
            return E_INVALIDARG;
        *medium = {};
        const HRESULT offered = QueryGetData(format);
        if (offered != S_OK)
            return offered;
        if (format->cfFormat == CF_HDROP)
            return Global(DropList(), medium);
        if (format->cfFormat == Format(CFSTR_PREFERREDDROPEFFECT)) {
            const DWORD copy = DROPEFFECT_COPY;
            return Global(std::vector<char>(reinterpret_cast<const char*>(&copy), reinterpret_cast<const char*>(&copy + 1)),
                          medium);
        }
        if (format->cfFormat == Format(CFSTR_FILEDESCRIPTORW))
            return Global(Descriptors(), medium);
        if (format->lindex < 0 || static_cast<size_t>(format->lindex) >= Members.size())
            return DV_E_LINDEX;
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = new TMemberStream(Members[static_cast<size_t>(format->lindex)], Source);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format)
            return E_INVALIDARG;
        for (const FORMATETC& offered : Formats)
            if (offered.cfFormat == format->cfFormat)
                return (offered.tymed & format->tymed) ? S_OK : DV_E_TYMED;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(Formats.size()), Formats.data(), formats);
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out)
            out->ptd = nullptr;
        return E_NOTIMPL;
    }
    // The shell leaves notes of its own (where it dropped, what it did); they are not kept.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM* medium, BOOL release) override {
        if (release && medium)
            ::ReleaseStgMedium(medium);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    static HRESULT Global(const std::vector<char>& bytes, STGMEDIUM* medium) {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = GlobalOf(bytes.data(), bytes.size());
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    std::vector<char> DropList() const {
        std::vector<std::wstring> paths;
        for (const TDraggedMember& member : Members)
            paths.push_back(WideFromUtf8(member.Path));
        return DropListBytes(paths);
    }
    std::vector<char> Descriptors() const {
        std::vector<char> bytes(sizeof(FILEGROUPDESCRIPTORW) + (Members.size() - 1) * sizeof(FILEDESCRIPTORW));
        auto* group = reinterpret_cast<FILEGROUPDESCRIPTORW*>(bytes.data());
        group->cItems = static_cast<UINT>(Members.size());
        for (size_t i = 0; i < Members.size(); ++i) {
            FILEDESCRIPTORW& file = group->fgd[i];
            file.dwFlags = FD_FILESIZE | FD_WRITESTIME | FD_PROGRESSUI;
            file.nFileSizeLow = static_cast<DWORD>(Members[i].Size);
            file.nFileSizeHigh = static_cast<DWORD>(Members[i].Size >> 32);
            file.ftLastWriteTime = FileTimeOfUnix(Members[i].Time);
            // A name past the field could make no file anyway: it is cut, never overrun.
            const std::wstring name = WideFromUtf8(Members[i].Name).substr(0, MAX_PATH - 1);
            std::copy(name.begin(), name.end(), file.cFileName);
        }
        return bytes;
    }

    std::vector<TDraggedMember> Members;
    bool Paths;
    TMemberSource& Source;
    std::vector<FORMATETC> Formats;
};

class TDropSource final : public TUnknown<IDropSource> {
public:
    using TTakenHere = std::function<bool(POINT, const std::vector<std::string>&)>;
    TDropSource(bool right, std::vector<std::string> paths, const TTakenHere& takenHere)
        : Right(right), Paths(std::move(paths)), TakenHere(takenHere) {}
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape)
            return DRAGDROP_S_CANCEL;
        if (keys & (Right ? MK_RBUTTON : MK_LBUTTON))
            return S_OK;
        POINT cursor = {};
        return ::GetCursorPos(&cursor) && TakenHere && TakenHere(cursor, Paths) ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    bool Right;
    std::vector<std::string> Paths;
    const TTakenHere& TakenHere;
};

}  // namespace

ComPtr<IDataObject> MemberDataObject(std::vector<TDraggedMember> members, bool paths, TMemberSource& source) {
    return ComPtr<IDataObject>(members.empty() ? nullptr : new TMemberData(std::move(members), paths, source));
}

void DragMembers(std::vector<TDraggedMember> members,
                 bool right,
                 TMemberSource& source,
                 const std::function<bool(POINT, const std::vector<std::string>&)>& takenHere) {
    std::vector<std::string> paths;
    for (const TDraggedMember& member : members)
        paths.push_back(member.Path);
    ComPtr<IDataObject> data = MemberDataObject(std::move(members), right, source);
    if (!data)
        return;
    ComPtr<IDropSource> dropSource(new TDropSource(right, std::move(paths), takenHere));
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data.Get(), dropSource.Get(), DROPEFFECT_COPY, &effect);
}
