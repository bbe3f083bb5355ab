// The installation count under HKLM and the removal of its key.
#ifndef HARNFOLD_INSTALL_RECORD_H
#define HARNFOLD_INSTALL_RECORD_H

#include <windows.h>

const WCHAR kProductKey[] = L"Software\\Quillon\\Harnfold";
const WCHAR kCountValue[] = L"Count";

// Statuses are HRESULTs, a registry code e mapped by HRESULT_FROM_WIN32 (e
// itself when 0 or below, else 0x80070000 | (e & 0xFFFF)); the deletions
// below keep the registry's own LONG codes because their callers hand them
// on through SetLastError, which takes Win32 codes, not statuses.

// Reads up to 4 bytes of `Count`, of any type, into the low bytes of *count;
// the caller zeroes it first. Returns a status.
HRESULT ReadInstallCount(DWORD* count);
// Creates the key when missing and stores `Count` as REG_DWORD. Returns a status.
HRESULT WriteInstallCount(DWORD count);

// Deletes one subkey through RegDeleteKeyExW when the platform has it, else
// RegDeleteKeyW. Returns the Win32 code.
LONG DeleteRegistryKey(HKEY parent, const WCHAR* subKey, REGSAM viewFlags);
// Deletes every subkey (depth first) and then every value of an open key.
// On failure the failing call's code is the thread's last error.
BOOL DeleteKeyContents(HKEY key, REGSAM viewFlags);
// Deletes HKLM\Software\Quillon\Harnfold with everything beneath it; TRUE
// also when it was never there.
BOOL DeleteProductKey();

#endif
