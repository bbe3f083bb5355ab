#include "DataFolder.h"

#include <shlobj.h>

#include "FullPath.h"
#include "PathBuffer.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kDataFolderTemplate[] = L"%TIDEWELLDATA%";
const WCHAR kSharedFolderLibrary[] = L"shfolder.dll";

// Never localized: the folder keeps this name on every system.
const WCHAR kDataFolderName[] = L"CBM Files";

// A shell item list goes back to the shell's allocator.
void ReleaseItemList(LPITEMIDLIST list)
{
    LPMALLOC allocator = NULL;
    if (SUCCEEDED(SHGetMalloc(&allocator)))
    {
        allocator->Free(list);
        allocator->Release();
    }
}
typedef ScopedHandle<LPITEMIDLIST, ReleaseItemList> ItemListGuard;

const int kCsidlCommonDocuments = 0x002E;
const int kCsidlFlagCreate = 0x8000;
// The path a missing folder would be created at, without creating it.
const int kCsidlFlagDontVerify = 0x4000;
// HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW), spelled out for a constant initialiser.
const HRESULT kBufferOverflowStatus = static_cast<HRESULT>(0x8007006F);

// A reading is taken only when it is terminated within the buffer, names no
// variable that is still unexpanded and is fully qualified: a relative one
// (".", "C:", "Data") would make the installer's working folder, which is the
// system folder under Windows Installer, the data folder.
DataFolderStep JudgeReading(const WCHAR (&path)[kPathUnits], DWORD count)
{
    if (count == 0 || count > static_cast<DWORD>(kPathUnits))
        return DataFolderUnfit;
    for (int i = 0; i < kPathUnits; ++i)
    {
        if (path[i] == 0)
            return IsFullyQualifiedPath(path) ? DataFolderTaken : DataFolderNotQualified;
        if (path[i] == L'%')
            return DataFolderUnexpanded;
    }
    return DataFolderUnfit;
}

void Notify(const DataFolderObserver* observer, DataFolderStep step, DWORD count, const WCHAR* text)
{
    if (observer != NULL)
        observer->step(observer->context, step, count, text);
}

// The value of one variable from the user's environment key, else the
// machine's, stored at `position` of the path buffer. 0 when neither holds
// it, when the name is empty or when its copy can't be made.
DWORD ReadTokenValue(const WCHAR* name, int nameLength, WCHAR (&path)[kPathUnits], DWORD position,
                     const DataFolderObserver* observer)
{
    if (nameLength <= 0)
        return 0;
    LocalGuard copy(LocalAlloc(LMEM_FIXED, (nameLength + 1) * sizeof(WCHAR)));
    if (!copy.valid())
        return 0;
    WCHAR* copied = static_cast<WCHAR*>(copy.get());
    for (int i = 0; i < nameLength; ++i)
        copied[i] = name[i];
    copied[nameLength] = 0;

    LONGLONG room = static_cast<LONGLONG>(kPathUnits) - position;
    int space = room > 0 ? static_cast<int>(room) : 0;
    WCHAR* destination = space > 0 ? path + position : NULL;
    DWORD count =
        ReadEnvironmentValue(HKEY_CURRENT_USER, kUserEnvironmentKey, copied, destination, space);
    Notify(observer, DataFolderFromUser, count, destination);
    if (count == 0)
    {
        count = ReadEnvironmentValue(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey, copied,
                                     destination, space);
        Notify(observer, DataFolderFromMachine, count, destination);
    }
    return count;
}

// How often a value that changes while it is read is sized and read again.
const int kValueReadAttempts = 3;

// The read of a value sized at `bytes`, into `data` of that many bytes: true
// with the bytes read when it is still of `type` and fitted, false when it
// changed (grew or took another type) and must be sized again. Any other
// failure leaves `bytes` at 0.
bool ReadValueAs(HKEY key, const WCHAR* name, DWORD type, BYTE* data, DWORD* bytes)
{
    DWORD readType = REG_NONE;
    LONG code = RegQueryValueExW(key, name, NULL, &readType, data, bytes);
    if (code == ERROR_MORE_DATA || (code == ERROR_SUCCESS && readType != type))
        return false;
    if (code != ERROR_SUCCESS)
        *bytes = 0;
    return true;
}

// A REG_SZ value read straight into the destination. False: ask again.
bool ReadPlainValue(HKEY key, const WCHAR* name, DWORD bytes, WCHAR* destination, int space,
                    DWORD* count)
{
    // Only data that fits whole is read; an odd last byte counts as a unit
    // here, so it is never written past the space.
    if (static_cast<LONGLONG>(bytes) > 2 * static_cast<LONGLONG>(space))
    {
        *count = bytes / 2 + (bytes & 1);
        return true;
    }
    if (!ReadValueAs(key, name, REG_SZ, reinterpret_cast<BYTE*>(destination), &bytes))
        return false;
    // The count includes the terminator: a value stored without one loses
    // its last unit to it.
    *count = bytes / 2;
    if (*count != 0)
        destination[*count - 1] = 0;
    return true;
}

// A REG_EXPAND_SZ value read into a block of twice its size, then expanded
// into the destination. False: ask again.
bool ReadExpandableValue(HKEY key, const WCHAR* name, DWORD bytes, WCHAR* destination, int space,
                         DWORD* count)
{
    *count = 0;
    if (bytes > MAXDWORD / 2)
        return true;
    LocalGuard data(LocalAlloc(LMEM_FIXED, 2 * static_cast<SIZE_T>(bytes)));
    if (!data.valid())
        return true;
    WCHAR* text = static_cast<WCHAR*>(data.get());
    if (!ReadValueAs(key, name, REG_EXPAND_SZ, static_cast<BYTE*>(data.get()), &bytes))
        return false;
    DWORD units = bytes / 2;
    if (units == 0)
        return true;
    // The stored text need not end in a terminator: end it after its last
    // whole unit (the block holds twice the data).
    text[units] = 0;
    *count = space <= 0 ? ExpandEnvironmentStringsW(text, NULL, 0)
                        : ExpandEnvironmentStringsW(text, destination, static_cast<DWORD>(space));
    return true;
}

}  // namespace

HRESULT ResolveDataFolder(WCHAR (&path)[kPathUnits], const DataFolderObserver* observer)
{
    DWORD count = ExpandDataFolderTemplate(path, observer);
    DataFolderStep verdict = JudgeReading(path, count);
    Notify(observer, verdict, count, path);
    if (verdict == DataFolderTaken)
        return S_OK;
    return LocateSharedDataFolder(path, observer);
}

DWORD ExpandDataFolderTemplate(WCHAR (&path)[kPathUnits], const DataFolderObserver* observer)
{
    return ExpandPathTemplate(kDataFolderTemplate, path, observer);
}

DWORD ExpandPathTemplate(const WCHAR* pathTemplate, WCHAR (&path)[kPathUnits],
                         const DataFolderObserver* observer)
{
    DWORD count = 0;
    const WCHAR* at = pathTemplate;
    while (*at != 0)
    {
        const WCHAR* close = NULL;
        if (*at == L'%')
            for (const WCHAR* probe = at + 1; *probe != 0 && close == NULL; ++probe)
                if (*probe == L'%')
                    close = probe;
        if (close == NULL)
        {
            // Past the buffer a unit is only counted, so the caller sees the overflow.
            ++count;
            if (count <= static_cast<DWORD>(kPathUnits))
                path[count - 1] = *at;
            ++at;
            continue;
        }
        DWORD found =
            ReadTokenValue(at + 1, static_cast<int>(close - at - 1), path, count, observer);
        if (found == 0)
        {
            found = ExpandEnvironmentStringsW(pathTemplate, path, kPathUnits);
            Notify(observer, DataFolderFromProcess, found, path);
            return found;
        }
        count += found - 1;
        at = close + 1;
    }
    if (count + 1 <= static_cast<DWORD>(kPathUnits))
        path[count] = 0;
    return count + 1;
}

DWORD ReadEnvironmentValue(HKEY root, const WCHAR* subKey, const WCHAR* name, WCHAR* destination,
                           int space)
{
    KeyGuard key;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return 0;
    // The value may change between the query of its size and the read. What
    // the read reports decides; a value that outgrew the room or changed its
    // type meanwhile is sized anew, and one that keeps changing is absent.
    for (int attempt = 0; attempt < kValueReadAttempts; ++attempt)
    {
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExW(key.get(), name, NULL, &type, NULL, &bytes) != ERROR_SUCCESS)
            return 0;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return 0;
        // Less than one whole unit is no text at all, whatever the type.
        if (bytes / 2 == 0)
            return 0;
        DWORD count = 0;
        bool settled =
            type == REG_SZ
                ? ReadPlainValue(key.get(), name, bytes, destination, space, &count)
                : ReadExpandableValue(key.get(), name, bytes, destination, space, &count);
        if (settled)
            return count;
    }
    return 0;
}

HRESULT LocateSharedDataFolder(WCHAR (&path)[kPathUnits], const DataFolderObserver* observer)
{
    // The first lookup asks the platform to create the shared folder itself;
    // an observer that creates nothing learns where it would be.
    bool create = observer == NULL || !observer->createNothing;
    int flag = create ? kCsidlFlagCreate : kCsidlFlagDontVerify;
    if (!GetShellFolderPath(flag | kCsidlCommonDocuments, path) &&
        !GetShellFolderPath(kCsidlCommonDocuments, path))
        return E_FAIL;
    if (!AppendDataFolderName(path))
        return kBufferOverflowStatus;
    Notify(observer, DataFolderShared, 0, path);
    // Whatever already has this name, folder or file, is left as it is.
    if (create && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryW(path, NULL);
    return S_OK;
}

BOOL GetShellFolderPath(int csidl, WCHAR (&path)[kPathUnits])
{
    ItemListGuard list;
    if (SUCCEEDED(SHGetSpecialFolderLocation(NULL, csidl, list.put())))
    {
        BOOL found = SHGetPathFromIDListW(list.get(), path);
        list.reset();
        if (found)
            return found;
    }

    // Older shells answer only through shfolder.dll, bound for this one call.
    ModuleGuard library(LoadLibraryW(kSharedFolderLibrary));
    if (!library.valid())
        return FALSE;
    decltype(&SHGetFolderPathW) getFolderPath = BIND_PROC(library.get(), SHGetFolderPathW);
    if (getFolderPath == NULL)
        return FALSE;
    HRESULT result = getFolderPath(NULL, csidl, NULL, 0, path);
    return SUCCEEDED(result) ? TRUE : FALSE;
}

BOOL AppendDataFolderName(WCHAR (&path)[kPathUnits])
{
    return AppendPathName(path, kDataFolderName) ? TRUE : FALSE;
}
