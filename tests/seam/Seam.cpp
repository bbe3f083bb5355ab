// Hook side of the test seam. Compiled without the forced include, so the
// platform names here are the real functions.
#include "Seam.h"
#include <shlobj.h>

extern "C" {
SEAM_CALLS(SEAM_DECLARE_HOOK)
}

#include <algorithm>
#include <sstream>

namespace
{

struct Fault
{
    int calls;
    int nth;
    int count;
    DWORD error;
    int actionAt;
    std::function<void()> action;
};

// A block handed out by an allocation hook: its address and the size asked
// for; the guard area follows at that size (none for movable blocks).
struct Block
{
    void* block;
    SIZE_T bytes;
    bool guarded;
};

const SIZE_T kGuardBytes = 16;
// Each guard byte differs from its neighbours, so that a guard copied from
// another block to another offset does not pass for this block's own.
BYTE GuardByte(SIZE_T i) { return static_cast<BYTE>(0xF1 + i); }
const BYTE kFreshByte = 0xCD;

// Wine writes a terminator behind string data it delivers when there is
// room, without counting it; Windows leaves those bytes as they were.
struct DataAreaKeeper
{
    BYTE* data;
    DWORD room;
    std::vector<BYTE> saved;
    DataAreaKeeper(BYTE* area, const DWORD* bytes)
        : data(area), room(area != NULL && bytes != NULL ? *bytes : 0), saved(area, area + room)
    {
    }
    void RestoreBehind(const DWORD* delivered)
    {
        if (delivered != NULL && *delivered < room)
            std::copy(saved.begin() + *delivered, saved.end(), data + *delivered);
    }
};

struct State
{
    Fault faults[SeamCallCount];
    std::vector<std::wstring> failLoads;
    std::vector<std::string> failProcs;
    std::vector<std::pair<std::wstring, LONG>> failOpens;
    bool versionSet;
    DWORD platformId, major, minor;
    bool shortWrite;
    DWORD shortBytes, shortError;
    bool moduleNameSet;
    std::wstring moduleName;
    bool moduleNameUnterminated;
    bool commandLineSet;
    std::wstring commandLine;
    bool zeroAfterEnumData;
    std::vector<Block> globals, locals;
    std::vector<HKEY> keys;
    std::vector<HMODULE> modules;
    std::vector<HANDLE> files;
    std::vector<LPITEMIDLIST> itemLists;
    int allocators;
    int overruns;
    std::vector<SIZE_T> globalRequests, localRequests;
    std::vector<SeamRegOpen> opens;
    std::vector<std::wstring> loaded;
    std::vector<SeamMessageBox> boxes;
};

State& S()
{
    static State state;
    return state;
}

// The shell's allocator as the hooks hand it out: it passes everything on,
// and an item list stays outstanding until it is freed through it, as does
// every reference until it is released.
class TrackingMalloc : public IMalloc
{
public:
    IMalloc* real = NULL;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
    {
        return real->QueryInterface(id, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++S().allocators;
        return real->AddRef();
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        --S().allocators;
        return real->Release();
    }
    void* STDMETHODCALLTYPE Alloc(SIZE_T bytes) override { return real->Alloc(bytes); }
    void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T bytes) override
    {
        return real->Realloc(block, bytes);
    }
    void STDMETHODCALLTYPE Free(void* block) override
    {
        std::vector<LPITEMIDLIST>& lists = S().itemLists;
        lists.erase(std::remove(lists.begin(), lists.end(), static_cast<LPITEMIDLIST>(block)),
                    lists.end());
        real->Free(block);
    }
    SIZE_T STDMETHODCALLTYPE GetSize(void* block) override { return real->GetSize(block); }
    int STDMETHODCALLTYPE DidAlloc(void* block) override { return real->DidAlloc(block); }
    void STDMETHODCALLTYPE HeapMinimize() override { real->HeapMinimize(); }
};

TrackingMalloc trackingMalloc;

// The registry calls, which report failure as their result code.
#define SEAM_RESULT_FAILS(name)
#define SEAM_RESULT_REGISTRY(name)                                                                 \
    case SeamCall##name:                                                                           \
        return true;
#define SEAM_RESULT_KEPT(name)
#define SEAM_RESULT(kind, result, name, parameters) SEAM_RESULT_##kind(name)
bool ReportsAsResult(SeamCall call)
{
    switch (call)
    {
        SEAM_CALLS(SEAM_RESULT)
    default: return false;
    }
}

// Counts the call and tells whether it must fail; sets the last error if so,
// except for the registry functions, which report their code as the result.
bool Fails(SeamCall call)
{
    Fault& f = S().faults[call];
    ++f.calls;
    if (f.action && f.calls == f.actionAt)
    {
        // A copy runs, so that the action may arm the next one.
        std::function<void()> action = f.action;
        action();
    }
    if (f.nth <= 0 || f.calls < f.nth)
        return false;
    if (f.count >= 0 && f.calls >= f.nth + f.count)
        return false;
    if (!ReportsAsResult(call))
        SetLastError(f.error);
    return true;
}

bool SameText(const std::wstring& a, const WCHAR* b)
{
    return b != NULL && lstrcmpiW(a.c_str(), b) == 0;
}

template <typename T>
void Forget(std::vector<T>& list, T item)
{
    typename std::vector<T>::iterator it = std::find(list.begin(), list.end(), item);
    if (it != list.end())
        list.erase(it);
}

// Allocates through `allocate` with a guard area behind a fixed block and
// enters it in `list`.
template <typename Allocate>
void* Allocated(std::vector<Block>& list, UINT flags, SIZE_T bytes, Allocate allocate)
{
    const bool guarded =
        (flags & GMEM_MOVEABLE) == 0 && bytes <= ~static_cast<SIZE_T>(0) - kGuardBytes;
    void* block = allocate(flags, guarded ? bytes + kGuardBytes : bytes);
    if (block == NULL)
        return NULL;
    // Windows hands out fixed blocks uninitialised; a fill that no text is
    // made of lets a read of what was never written show.
    if (guarded && (flags & GMEM_ZEROINIT) == 0)
        std::fill(static_cast<BYTE*>(block), static_cast<BYTE*>(block) + bytes, kFreshByte);
    if (guarded)
        for (SIZE_T i = 0; i < kGuardBytes; ++i)
            static_cast<BYTE*>(block)[bytes + i] = GuardByte(i);
    Block entry = {block, bytes, guarded};
    list.push_back(entry);
    return block;
}

// Takes a block out of `list`, counting an overrun when its guard was written to.
void Freed(std::vector<Block>& list, void* block)
{
    for (std::vector<Block>::iterator it = list.begin(); it != list.end(); ++it)
    {
        if (it->block != block)
            continue;
        if (it->guarded)
        {
            const BYTE* guard = static_cast<const BYTE*>(block) + it->bytes;
            for (SIZE_T i = 0; i < kGuardBytes; ++i)
                if (guard[i] != GuardByte(i))
                {
                    ++S().overruns;
                    break;
                }
        }
        list.erase(it);
        return;
    }
}

// What Windows refuses and Wine, run as root, allows; see Seam.h.
bool WindowsRefusesCreate(LPCWSTR name, DWORD access, DWORD disposition, DWORD flagsAndAttributes)
{
    DWORD existing = name != NULL ? GetFileAttributesW(name) : INVALID_FILE_ATTRIBUTES;
    if (existing == INVALID_FILE_ATTRIBUTES || (existing & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const DWORD writes = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
    if ((access & writes) != 0 && (existing & FILE_ATTRIBUTE_READONLY) != 0)
        return true;
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) &&
           (existing & kept & ~flagsAndAttributes) != 0;
}

}  // namespace

void SeamFailCall(SeamCall call, int nth, int count, DWORD error)
{
    Fault& f = S().faults[call];
    f.nth = nth;
    f.count = count;
    f.error = error;
}

int SeamCallsMade(SeamCall call) { return S().faults[call].calls; }

void SeamBeforeCall(SeamCall call, int nth, std::function<void()> action)
{
    S().faults[call].actionAt = nth;
    S().faults[call].action = action;
}

void SeamSetZeroAfterEnumData(bool on) { S().zeroAfterEnumData = on; }
int SeamOverruns() { return S().overruns; }
void SeamFailLoadLibrary(const WCHAR* name) { S().failLoads.push_back(name); }
void SeamFailProcAddress(const char* name) { S().failProcs.push_back(name); }
void SeamFailRegOpen(const WCHAR* subKey, LONG error)
{
    S().failOpens.push_back(std::make_pair(std::wstring(subKey), error));
}

void SeamSetVersion(DWORD platformId, DWORD major, DWORD minor)
{
    State& s = S();
    s.versionSet = true;
    s.platformId = platformId;
    s.major = major;
    s.minor = minor;
}

void SeamSetShortWrite(DWORD maxBytes, DWORD lastError)
{
    S().shortWrite = true;
    S().shortBytes = maxBytes;
    S().shortError = lastError;
}

void SeamSetModuleFileName(const WCHAR* path, bool unterminatedWhenCut)
{
    S().moduleNameSet = true;
    S().moduleName = path;
    S().moduleNameUnterminated = unterminatedWhenCut;
}

void SeamSetCommandLine(const WCHAR* commandLine)
{
    S().commandLineSet = true;
    S().commandLine = commandLine;
}

SeamOutstanding SeamGetOutstanding()
{
    SeamOutstanding o;
    o.globalBlocks = static_cast<int>(S().globals.size());
    o.localBlocks = static_cast<int>(S().locals.size());
    o.keys = static_cast<int>(S().keys.size());
    o.modules = static_cast<int>(S().modules.size());
    o.files = static_cast<int>(S().files.size());
    o.itemLists = static_cast<int>(S().itemLists.size());
    o.allocators = S().allocators;
    return o;
}

bool SeamNothingOutstanding()
{
    SeamOutstanding o = SeamGetOutstanding();
    return o.globalBlocks == 0 && o.localBlocks == 0 && o.keys == 0 && o.modules == 0 &&
           o.files == 0 && o.itemLists == 0 && o.allocators == 0;
}

std::string SeamDescribeOutstanding()
{
    SeamOutstanding o = SeamGetOutstanding();
    std::ostringstream out;
    out << o.globalBlocks << " global block(s), " << o.localBlocks << " local block(s), " << o.keys
        << " registry key(s), " << o.modules << " module(s), " << o.files << " file handle(s), "
        << o.itemLists << " item list(s), " << o.allocators
        << " allocator reference(s) outstanding";
    return out.str();
}

const std::vector<SIZE_T>& SeamGlobalAllocRequests() { return S().globalRequests; }
const std::vector<SIZE_T>& SeamLocalAllocRequests() { return S().localRequests; }
const std::vector<SeamRegOpen>& SeamRegOpens() { return S().opens; }
const std::vector<std::wstring>& SeamLoadedNames() { return S().loaded; }
const std::vector<SeamMessageBox>& SeamMessageBoxes() { return S().boxes; }

void SeamReset() { S() = State(); }

extern "C" {

HGLOBAL WINAPI SeamGlobalAlloc(UINT flags, SIZE_T bytes)
{
    S().globalRequests.push_back(bytes);
    if (Fails(SeamCallGlobalAlloc))
        return NULL;
    return Allocated(S().globals, flags, bytes,
                     [](UINT f, SIZE_T b) -> void* { return GlobalAlloc(f, b); });
}

HGLOBAL WINAPI SeamGlobalFree(HGLOBAL block)
{
    Freed(S().globals, block);
    return GlobalFree(block);
}

HLOCAL WINAPI SeamLocalAlloc(UINT flags, SIZE_T bytes)
{
    S().localRequests.push_back(bytes);
    if (Fails(SeamCallLocalAlloc))
        return NULL;
    return Allocated(S().locals, flags, bytes,
                     [](UINT f, SIZE_T b) -> void* { return LocalAlloc(f, b); });
}

HLOCAL WINAPI SeamLocalFree(HLOCAL block)
{
    Freed(S().locals, block);
    return LocalFree(block);
}

LONG WINAPI SeamRegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    SeamRegOpen open = {root, subKey != NULL ? subKey : L"", access};
    S().opens.push_back(open);
    if (Fails(SeamCallRegOpenKeyExW))
        return static_cast<LONG>(S().faults[SeamCallRegOpenKeyExW].error);
    for (size_t i = 0; i < S().failOpens.size(); ++i)
        if (SameText(S().failOpens[i].first, subKey))
            return S().failOpens[i].second;
    LONG code = RegOpenKeyExW(root, subKey, options, access, result);
    if (code == ERROR_SUCCESS)
        S().keys.push_back(*result);
    return code;
}

LONG WINAPI SeamRegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR className,
                                DWORD options, REGSAM access, const LPSECURITY_ATTRIBUTES security,
                                PHKEY result, LPDWORD disposition)
{
    SeamRegOpen open = {root, subKey != NULL ? subKey : L"", access};
    S().opens.push_back(open);
    if (Fails(SeamCallRegCreateKeyExW))
        return static_cast<LONG>(S().faults[SeamCallRegCreateKeyExW].error);
    LONG code = RegCreateKeyExW(root, subKey, reserved, className, options, access, security,
                                result, disposition);
    if (code == ERROR_SUCCESS)
        S().keys.push_back(*result);
    return code;
}

LONG WINAPI SeamRegCloseKey(HKEY key)
{
    Forget(S().keys, key);
    return RegCloseKey(key);
}

LONG WINAPI SeamRegQueryInfoKeyW(HKEY key, LPWSTR className, LPDWORD classLength, LPDWORD reserved,
                                 LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                                 LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                 LPDWORD securityDescriptor, PFILETIME lastWriteTime)
{
    if (Fails(SeamCallRegQueryInfoKeyW))
        return static_cast<LONG>(S().faults[SeamCallRegQueryInfoKeyW].error);
    return RegQueryInfoKeyW(key, className, classLength, reserved, subKeys, maxSubKeyLength,
                            maxClassLength, values, maxValueNameLength, maxValueLength,
                            securityDescriptor, lastWriteTime);
}

LONG WINAPI SeamRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                               DWORD bytes)
{
    if (Fails(SeamCallRegSetValueExW))
        return static_cast<LONG>(S().faults[SeamCallRegSetValueExW].error);
    return RegSetValueExW(key, name, reserved, type, data, bytes);
}

LONG WINAPI SeamRegDeleteKeyW(HKEY parent, LPCWSTR subKey)
{
    if (Fails(SeamCallRegDeleteKeyW))
        return static_cast<LONG>(S().faults[SeamCallRegDeleteKeyW].error);
    return RegDeleteKeyW(parent, subKey);
}

LONG WINAPI SeamRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                 LPBYTE data, LPDWORD bytes)
{
    if (Fails(SeamCallRegQueryValueExW))
        return static_cast<LONG>(S().faults[SeamCallRegQueryValueExW].error);
    DataAreaKeeper keeper(data, bytes);
    LONG code = RegQueryValueExW(key, name, reserved, type, data, bytes);
    if (code == ERROR_SUCCESS)
        keeper.RestoreBehind(bytes);
    return code;
}

LONG WINAPI SeamRegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameUnits,
                              LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD bytes)
{
    if (Fails(SeamCallRegEnumValueW))
        return static_cast<LONG>(S().faults[SeamCallRegEnumValueW].error);
    DataAreaKeeper keeper(data, bytes);
    LONG code = RegEnumValueW(key, index, name, nameUnits, reserved, type, data, bytes);
    if (code == ERROR_SUCCESS)
        keeper.RestoreBehind(bytes);
    const DWORD room = keeper.room;
    if (code == ERROR_SUCCESS && S().zeroAfterEnumData && data != NULL && bytes != NULL &&
        *bytes <= room && room - *bytes >= sizeof(WCHAR))
    {
        data[*bytes] = 0;
        data[*bytes + 1] = 0;
    }
    return code;
}

LONG WINAPI SeamRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameUnits,
                              LPDWORD reserved, LPWSTR className, LPDWORD classUnits,
                              PFILETIME lastWriteTime)
{
    if (Fails(SeamCallRegEnumKeyExW))
        return static_cast<LONG>(S().faults[SeamCallRegEnumKeyExW].error);
    return RegEnumKeyExW(key, index, name, nameUnits, reserved, className, classUnits,
                         lastWriteTime);
}

LONG WINAPI SeamRegDeleteValueW(HKEY key, LPCWSTR name)
{
    if (Fails(SeamCallRegDeleteValueW))
        return static_cast<LONG>(S().faults[SeamCallRegDeleteValueW].error);
    return RegDeleteValueW(key, name);
}

HANDLE WINAPI SeamCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition,
                              DWORD flagsAndAttributes, HANDLE templateFile)
{
    if (Fails(SeamCallCreateFileW))
        return INVALID_HANDLE_VALUE;
    if (WindowsRefusesCreate(name, access, disposition, flagsAndAttributes))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file =
        CreateFileW(name, access, share, security, disposition, flagsAndAttributes, templateFile);
    if (file != INVALID_HANDLE_VALUE)
        S().files.push_back(file);
    return file;
}

BOOL WINAPI SeamCloseHandle(HANDLE handle)
{
    Forget(S().files, handle);
    return CloseHandle(handle);
}

HMODULE WINAPI SeamLoadLibraryW(LPCWSTR name)
{
    S().loaded.push_back(name != NULL ? name : L"");
    if (Fails(SeamCallLoadLibraryW))
        return NULL;
    for (size_t i = 0; i < S().failLoads.size(); ++i)
        if (SameText(S().failLoads[i], name))
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return NULL;
        }
    HMODULE module = LoadLibraryW(name);
    if (module != NULL)
        S().modules.push_back(module);
    return module;
}

BOOL WINAPI SeamFreeLibrary(HMODULE module)
{
    Forget(S().modules, module);
    return FreeLibrary(module);
}

FARPROC WINAPI SeamGetProcAddress(HMODULE module, LPCSTR name)
{
    if (Fails(SeamCallGetProcAddress))
        return NULL;
    for (size_t i = 0; i < S().failProcs.size(); ++i)
        if (reinterpret_cast<ULONG_PTR>(name) > 0xFFFF && S().failProcs[i] == name)
        {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return NULL;
        }
    return GetProcAddress(module, name);
}

BOOL WINAPI SeamGetVersionExW(LPOSVERSIONINFOW info)
{
    if (Fails(SeamCallGetVersionExW))
        return FALSE;
    BOOL ok = GetVersionExW(info);
    if (ok && S().versionSet)
    {
        info->dwPlatformId = S().platformId;
        info->dwMajorVersion = S().major;
        info->dwMinorVersion = S().minor;
    }
    return ok;
}

BOOL WINAPI SeamWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                          LPOVERLAPPED overlapped)
{
    if (Fails(SeamCallWriteFile))
        return FALSE;
    if (!S().shortWrite)
        return WriteFile(file, data, bytes, written, overlapped);
    DWORD part = bytes < S().shortBytes ? bytes : S().shortBytes;
    BOOL ok = WriteFile(file, data, part, written, overlapped);
    SetLastError(S().shortError);
    return ok;
}

DWORD WINAPI SeamGetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size)
{
    if (Fails(SeamCallGetModuleFileNameW))
        return 0;
    if (!S().moduleNameSet)
        return GetModuleFileNameW(module, path, size);
    const std::wstring& name = S().moduleName;
    if (size == 0)
        return 0;
    if (name.size() < size)
    {
        std::copy(name.begin(), name.end(), path);
        path[name.size()] = 0;
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(name.size());
    }
    if (S().moduleNameUnterminated)
    {
        std::copy(name.begin(), name.begin() + size, path);
    }
    else
    {
        std::copy(name.begin(), name.begin() + (size - 1), path);
        path[size - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

LPWSTR WINAPI SeamGetCommandLineW(void)
{
    if (S().commandLineSet)
        return &S().commandLine[0];
    return GetCommandLineW();
}

int WINAPI SeamWideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int units, LPSTR out,
                                   int outBytes, LPCSTR defaultChar, LPBOOL usedDefault)
{
    if (Fails(SeamCallWideCharToMultiByte))
        return 0;
    return WideCharToMultiByte(codePage, flags, source, units, out, outBytes, defaultChar,
                               usedDefault);
}

DWORD WINAPI SeamExpandEnvironmentStringsW(LPCWSTR source, LPWSTR out, DWORD size)
{
    if (Fails(SeamCallExpandEnvironmentStringsW))
        return 0;
    return ExpandEnvironmentStringsW(source, out, size);
}

HRESULT WINAPI SeamSHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* list)
{
    if (Fails(SeamCallSHGetSpecialFolderLocation))
        return E_FAIL;
    HRESULT result = SHGetSpecialFolderLocation(owner, csidl, list);
    if (SUCCEEDED(result) && *list != NULL)
        S().itemLists.push_back(*list);
    return result;
}

HRESULT WINAPI SeamSHGetMalloc(LPMALLOC* allocator)
{
    if (Fails(SeamCallSHGetMalloc))
        return E_FAIL;
    HRESULT result = SHGetMalloc(&trackingMalloc.real);
    if (FAILED(result))
        return result;
    ++S().allocators;
    *allocator = &trackingMalloc;
    return result;
}

int WINAPI SeamMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    SeamMessageBox box = {owner, text != NULL ? text : L"<null>",
                          caption != NULL ? caption : L"<null>", type};
    S().boxes.push_back(box);
    return IDOK;
}

}  // extern "C"
