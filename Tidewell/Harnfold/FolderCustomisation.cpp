#include "FolderCustomisation.h"

#include <shlwapi.h>

#include "FileKind.h"
#include "FullPath.h"
#include "ModuleGlobals.h"
#include "PathBuffer.h"
#include "ScopeGuards.h"

namespace
{

// Copies a path into a path buffer; false when it doesn't fit.
bool CopyPath(WCHAR (&to)[kPathUnits], const WCHAR* from)
{
    SIZE_T n = 0;
    while (n < kPathUnits && from[n] != 0)
        ++n;
    if (n >= kPathUnits)
        return false;
    for (SIZE_T i = 0; i <= n; ++i)
        to[i] = from[i];
    return true;
}

// Binds the marking for this one call; false when it is unavailable or refused.
bool MakeSystemFolder(const WCHAR* folder)
{
    ModuleGuard shlwapi(LoadLibraryW(L"shlwapi.dll"));
    if (!shlwapi.valid())
        return false;
    decltype(&PathMakeSystemFolderW) makeSystemFolder =
        BIND_PROC(shlwapi.get(), PathMakeSystemFolderW);
    BOOL marked = makeSystemFolder != NULL ? makeSystemFolder(folder) : FALSE;
    return marked != FALSE;
}

}  // namespace

bool AppendDesktopIni(WCHAR (&path)[kPathUnits]) { return AppendPathName(path, kDesktopIni); }

bool IsWindowsXPOrLater()
{
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the size GetVersionExW expects");
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info))
        return false;
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return false;
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
}

bool ComposeDesktopIni(WideBuffer& text, DesktopIniForm form, const WCHAR* modulePath,
                       const WCHAR* displayName, const WCHAR* infoTip)
{
    const bool indirect = form == DesktopIniIndirect;
    const WCHAR* const pieces[] = {
        kDesktopIniStart,
        modulePath,
        indirect ? kDesktopIniIndirectNames : kDesktopIniLiteralNames,
        indirect ? modulePath : displayName,
        indirect ? L",-100\r\nInfoTip=@" : L"\r\nInfoTip=",
        indirect ? modulePath : infoTip,
        indirect ? L",-102\r\n" : L"\r\n",
    };
    text.Release();
    for (const WCHAR* piece : pieces)
    {
        if (!text.Append(piece))
        {
            text.Release();
            return false;
        }
    }
    return true;
}

HRESULT WriteBufferToFile(const WCHAR* path, const NarrowBuffer& buffer, DWORD bytes)
{
    FileGuard file(
        CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.valid())
        return HRESULT_FROM_WIN32(GetLastError());
    HRESULT result = S_OK;
    if (buffer.text != NULL)
    {
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.text, bytes, &written, NULL) || written < bytes)
        {
            result = HRESULT_FROM_WIN32(GetLastError());
            // Without an error code the truncated file would pass for a good one.
            if (SUCCEEDED(result))
                result = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        }
    }
    // Closed before a failed file is deleted.
    file.reset();
    if (FAILED(result))
        DeleteFileW(path);
    return result;
}

bool CustomiseDataFolder(const WCHAR* folder)
{
    // A relative path would make the current folder (or one beside it, or a
    // drive's current folder) a system folder.
    if (!IsFullyQualifiedPath(folder))
        return false;
    // A file of the folder's name is the user's: marking it would change its
    // attributes, and it can hold no Desktop.ini.
    if (IsExistingFile(folder))
        return false;
    if (!MakeSystemFolder(folder))
        return true;

    WCHAR iniPath[kPathUnits];
    if (!CopyPath(iniPath, folder) || !AppendDesktopIni(iniPath))
        return false;

    DesktopIniForm form = IsWindowsXPOrLater() ? DesktopIniIndirect : DesktopIniLiteral;
    // A string the table lacks leaves its value empty.
    WCHAR displayName[kDisplayNameUnits] = L"";
    WCHAR infoTip[kInfoTipUnits] = L"";
    if (form == DesktopIniLiteral)
    {
        LoadStringW(ModuleInstance, 100, displayName, kDisplayNameUnits);
        LoadStringW(ModuleInstance, 102, infoTip, kInfoTipUnits);
    }

    WideBuffer text;
    if (!ComposeDesktopIni(text, form, ModulePath, displayName, infoTip))
        return false;
    NarrowBuffer converted(CP_ACP);
    converted.AssignFromWide(text.text);
    // Without converted text the file would be written empty: the existing
    // file is left as it is instead.
    DWORD bytes = converted.text != NULL ? static_cast<DWORD>(lstrlenA(converted.text)) : 0;
    if (bytes == 0)
        return false;

    SetFileAttributesW(iniPath, FILE_ATTRIBUTE_NORMAL);
    if (FAILED(WriteBufferToFile(iniPath, converted, bytes)))
        return false;
    SetFileAttributesW(iniPath, FILE_ATTRIBUTE_HIDDEN);
    return true;
}

bool RemoveFolderCustomisation(const WCHAR* folder)
{
    // Nothing is deleted or unmarked relative to the current folder.
    WCHAR iniPath[kPathUnits];
    if (!IsFullyQualifiedPath(folder) || !CopyPath(iniPath, folder) || !AppendDesktopIni(iniPath))
        return false;
    // A file of the folder's name was never customised: its attributes stay.
    if (IsExistingFile(folder))
        return true;
    if (GetFileAttributesW(iniPath) != INVALID_FILE_ATTRIBUTES)
        DeleteFileW(iniPath);
    SetFileAttributesW(folder, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder);
    return true;
}
