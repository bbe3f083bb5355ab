#include "InstallRecord.h"

#include "ScopeGuards.h"

namespace
{

typedef LONG(WINAPI* RegDeleteKeyExWProc)(HKEY, LPCWSTR, REGSAM, DWORD);

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

}  // namespace

LONG StatusFromWin32(LONG code)
{
    if (code <= 0)
        return code;
    return static_cast<LONG>(0x80070000UL | (static_cast<DWORD>(code) & 0xFFFFUL));
}

LONG ReadInstallCount(DWORD* count)
{
    HKEY key;
    LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, HARNFOLD_PRODUCT_KEY, 0, KEY_READ, &key);
    if (code != ERROR_SUCCESS)
        return StatusFromWin32(code);
    KeyGuard guard(key);
    DWORD size = sizeof(DWORD);
    code = RegQueryValueExW(key, HARNFOLD_COUNT_VALUE, NULL, NULL, reinterpret_cast<BYTE*>(count),
                            &size);
    return StatusFromWin32(code);
}

LONG WriteInstallCount(DWORD count)
{
    HKEY key;
    DWORD disposition;
    LONG code = RegCreateKeyExW(HKEY_LOCAL_MACHINE, HARNFOLD_PRODUCT_KEY, 0, NULL,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL, &key, &disposition);
    if (code != ERROR_SUCCESS)
        return StatusFromWin32(code);
    KeyGuard guard(key);
    code = RegSetValueExW(key, HARNFOLD_COUNT_VALUE, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&count), sizeof count);
    return StatusFromWin32(code);
}

LONG DeleteRegistryKey(HKEY parent, const WCHAR* subKey, REGSAM viewFlags)
{
    // Bound for each deletion: older systems lack the view-aware call.
    HMODULE advapi = LoadLibraryW(L"Advapi32.dll");
    if (advapi != NULL)
    {
        RegDeleteKeyExWProc deleteKeyEx = reinterpret_cast<RegDeleteKeyExWProc>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
        LONG code = ERROR_SUCCESS;
        if (deleteKeyEx != NULL)
            code = deleteKeyEx(parent, subKey, viewFlags, 0);
        FreeLibrary(advapi);
        if (deleteKeyEx != NULL)
            return code;
    }
    return RegDeleteKeyW(parent, subKey);
}

BOOL DeleteKeyContents(HKEY key, REGSAM viewFlags)
{
    DWORD longestSubKey = 0;
    DWORD longestValueName = 0;
    if (RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, &longestSubKey, NULL, NULL,
                         &longestValueName, NULL, NULL, NULL) != ERROR_SUCCESS)
        return FALSE;
    // One name buffer serves subkeys and values alike, sized once up front.
    DWORD longest = longestSubKey > longestValueName ? longestSubKey : longestValueName;
    WCHAR* name = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, (longest + 1) * sizeof(WCHAR)));
    if (name == NULL)
        return FALSE;

    BOOL result = FALSE;
    DWORD capacity = longest + 1;
    LONG code;
    // Index 0 every time: each pass deletes the subkey it was handed.
    while ((code = RegEnumKeyExW(key, 0, name, &capacity, NULL, NULL, NULL, NULL)) ==
           ERROR_SUCCESS)
    {
        HKEY subKey;
        code = RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS | viewFlags, &subKey);
        if (code != ERROR_SUCCESS)
            goto done;
        code = RefuseLink(subKey);
        if (code != ERROR_SUCCESS)
        {
            RegCloseKey(subKey);
            goto done;
        }
        DeleteKeyContents(subKey, viewFlags);
        RegCloseKey(subKey);
        code = DeleteRegistryKey(key, name, viewFlags);
        if (code != ERROR_SUCCESS)
            goto done;
        capacity = longest + 1;
    }
    if (code != ERROR_NO_MORE_ITEMS)
        goto done;

    capacity = longest + 1;
    while ((code = RegEnumValueW(key, 0, name, &capacity, NULL, NULL, NULL, NULL)) ==
           ERROR_SUCCESS)
    {
        code = RegDeleteValueW(key, name);
        if (code != ERROR_SUCCESS)
            goto done;
        capacity = longest + 1;
    }
    if (code == ERROR_NO_MORE_ITEMS)
    {
        result = TRUE;
        code = ERROR_SUCCESS;
    }

done:
    LocalFree(name);
    SetLastError(static_cast<DWORD>(code));
    return result;
}

BOOL DeleteProductKey()
{
    HKEY key;
    LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, HARNFOLD_PRODUCT_KEY, REG_OPTION_OPEN_LINK,
                              KEY_ALL_ACCESS, &key);
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return TRUE;
    if (code == ERROR_SUCCESS)
    {
        code = RefuseLink(key);
        if (code != ERROR_SUCCESS)
            RegCloseKey(key);
    }
    if (code != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(code));
        return FALSE;
    }
    BOOL emptied = DeleteKeyContents(key, 0);
    RegCloseKey(key);
    if (!emptied)
        return FALSE;
    code = DeleteRegistryKey(HKEY_LOCAL_MACHINE, HARNFOLD_PRODUCT_KEY, 0);
    if (code == ERROR_SUCCESS)
        return TRUE;
    SetLastError(static_cast<DWORD>(code));
    return FALSE;
}
