#include "InstallRecord.h"

#include "ScopeGuards.h"

namespace
{

// A registry link can lead to any key of the machine, so the deletion never
// goes through one: it stops there as at a key that can't be opened. Opened
// as itself (REG_OPTION_OPEN_LINK), a link holds its target in this value.
const WCHAR kLinkValue[] = L"SymbolicLinkValue";

// 0 when the key, opened as itself, is no link; otherwise the code to stop
// with, also when that can't be told.
LONG RefuseLink(HKEY key)
{
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    LONG code = RegQueryValueExW(key, kLinkValue, NULL, &type, NULL, &bytes);
    if (code == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (code != ERROR_SUCCESS)
        return code;
    return type == REG_LINK ? ERROR_CANTOPEN : ERROR_SUCCESS;
}

// Deletes every subkey (each emptied first) and then every value of the key,
// reading each name into `name` of `units` units. The first failing call's
// code, else ERROR_SUCCESS.
LONG DeleteEveryEntry(HKEY key, REGSAM viewFlags, WCHAR* name, DWORD units)
{
    DWORD capacity = units;
    LONG code;
    // Index 0 every time: each pass deletes the subkey it was handed.
    while ((code = RegEnumKeyExW(key, 0, name, &capacity, NULL, NULL, NULL, NULL)) == ERROR_SUCCESS)
    {
        KeyGuard subKey;
        code = RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS | viewFlags,
                             subKey.put());
        if (code != ERROR_SUCCESS)
            return code;
        code = RefuseLink(subKey.get());
        if (code != ERROR_SUCCESS)
            return code;
        DeleteKeyContents(subKey.get(), viewFlags);
        subKey.reset();  // closed before it is deleted
        code = DeleteRegistryKey(key, name, viewFlags);
        if (code != ERROR_SUCCESS)
            return code;
        capacity = units;
    }
    if (code != ERROR_NO_MORE_ITEMS)
        return code;

    capacity = units;
    while ((code = RegEnumValueW(key, 0, name, &capacity, NULL, NULL, NULL, NULL)) == ERROR_SUCCESS)
    {
        code = RegDeleteValueW(key, name);
        if (code != ERROR_SUCCESS)
            return code;
        capacity = units;
    }
    return code == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : code;
}

}  // namespace

HRESULT ReadInstallCount(DWORD* count)
{
    KeyGuard key;
    LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, key.put());
    if (code != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(code);
    DWORD size = sizeof(DWORD);
    code =
        RegQueryValueExW(key.get(), kCountValue, NULL, NULL, reinterpret_cast<BYTE*>(count), &size);
    return HRESULT_FROM_WIN32(code);
}

HRESULT WriteInstallCount(DWORD count)
{
    KeyGuard key;
    DWORD disposition;
    LONG code = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE, NULL, key.put(), &disposition);
    if (code != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(code);
    code = RegSetValueExW(key.get(), kCountValue, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&count), sizeof count);
    return HRESULT_FROM_WIN32(code);
}

LONG DeleteRegistryKey(HKEY parent, const WCHAR* subKey, REGSAM viewFlags)
{
    // Bound for each deletion: older systems lack the view-aware call.
    ModuleGuard advapi(LoadLibraryW(L"Advapi32.dll"));
    if (advapi.valid())
    {
        decltype(&RegDeleteKeyExW) deleteKeyEx = BIND_PROC(advapi.get(), RegDeleteKeyExW);
        if (deleteKeyEx != NULL)
            return deleteKeyEx(parent, subKey, viewFlags, 0);
    }
    return RegDeleteKeyW(parent, subKey);
}

BOOL DeleteKeyContents(HKEY key, REGSAM viewFlags)
{
    DWORD longestSubKey = 0;
    DWORD longestValueName = 0;
    if (RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, &longestSubKey, NULL, NULL, &longestValueName,
                         NULL, NULL, NULL) != ERROR_SUCCESS)
        return FALSE;
    // One name buffer serves subkeys and values alike, sized once up front.
    DWORD longest = longestSubKey > longestValueName ? longestSubKey : longestValueName;
    LocalGuard name(LocalAlloc(LMEM_FIXED, (longest + 1) * sizeof(WCHAR)));
    if (!name.valid())
        return FALSE;
    LONG code = DeleteEveryEntry(key, viewFlags, static_cast<WCHAR*>(name.get()), longest + 1);
    SetLastError(static_cast<DWORD>(code));
    return code == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL DeleteProductKey()
{
    KeyGuard key;
    LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS,
                              key.put());
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return TRUE;
    if (code == ERROR_SUCCESS)
        code = RefuseLink(key.get());
    if (code != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(code));
        return FALSE;
    }
    BOOL emptied = DeleteKeyContents(key.get(), 0);
    key.reset();  // closed before it is deleted
    if (!emptied)
        return FALSE;
    code = DeleteRegistryKey(HKEY_LOCAL_MACHINE, kProductKey, 0);
    if (code == ERROR_SUCCESS)
        return TRUE;
    SetLastError(static_cast<DWORD>(code));
    return FALSE;
}
