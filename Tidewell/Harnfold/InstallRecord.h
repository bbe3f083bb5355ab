// The installation count under HKLM and the removal of its key.
#ifndef HARNFOLD_INSTALL_RECORD_H
#define HARNFOLD_INSTALL_RECORD_H

#include <windows.h>

#define HARNFOLD_PRODUCT_KEY L"Software\\Quillon\\Harnfold"
#define HARNFOLD_COUNT_VALUE L"Count"

// A Win32 code as a status: 0 and below unchanged, else 0x8007xxxx.
LONG StatusFromWin32(LONG code);

// Reads up to 4 bytes of `Count`, of any type, into the low bytes of *count;
// the caller zeroes it first. Returns a status.
LONG ReadInstallCount(DWORD* count);
// Creates the key when missing and stores `Count` as REG_DWORD. Returns a status.
LONG WriteInstallCount(DWORD count);

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
