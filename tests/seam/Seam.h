// Control side of the test seam: arm faults, read the account of acquired
// blocks, keys, modules and files. Test code includes this; product code
// never does.
#ifndef TESTS_SEAM_H
#define TESTS_SEAM_H

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "SeamCalls.h"

// The calls a test can count and make fail: SeamCallNAME for each one listed
// as FAILS or REGISTRY.
#define SEAM_ENUM_FAILS(name) SeamCall##name,
#define SEAM_ENUM_REGISTRY(name) SeamCall##name,
#define SEAM_ENUM_KEPT(name)
#define SEAM_ENUM(kind, result, name, parameters) SEAM_ENUM_##kind(name)
enum SeamCall
{
    SEAM_CALLS(SEAM_ENUM) SeamCallCount
};

// RegQueryValueExW and RegEnumValueW leave the caller's bytes behind the
// data they deliver as they were, as Windows does (Wine writes a terminator
// there when there is room). Fixed blocks from the allocation hooks start
// filled with 0xCD, as uninitialised as Windows hands them out.

// CreateFileW refuses what Windows refuses even where Wine (run as root)
// allows it: opening a read-only file for writing, and CREATE_ALWAYS or
// TRUNCATE_EXISTING on a hidden or system file without those attributes in
// the call; both fail with ERROR_ACCESS_DENIED.

// Makes calls nth .. nth+count-1 of `call` (1-based, counted from the last
// reset) fail; a negative count fails every call from nth on. A failing call
// returns the function's failure value; `error` becomes the last error, or
// the result code of the registry functions.
void SeamFailCall(SeamCall call, int nth, int count = 1, DWORD error = ERROR_NOT_ENOUGH_MEMORY);
// How many times the product made this call since the last reset.
int SeamCallsMade(SeamCall call);
// Runs `action` just before the nth call of `call` (1-based) goes to the
// platform, for example to change a registry value between two reads of it.
void SeamBeforeCall(SeamCall call, int nth, std::function<void()> action);
// RegEnumValueW puts a zero unit right behind the data it delivers whenever
// the caller's data area has room for one; it is not counted in the size.
// Data without a terminator of its own then looks terminated to a reader
// that looks one unit too far.
void SeamSetZeroAfterEnumData(bool on);

// LoadLibraryW of this exact name (case-insensitive) fails with ERROR_MOD_NOT_FOUND.
void SeamFailLoadLibrary(const WCHAR* name);
// GetProcAddress of this name fails with ERROR_PROC_NOT_FOUND.
void SeamFailProcAddress(const char* name);
// RegOpenKeyExW of this subkey name (case-insensitive) fails with `error`.
void SeamFailRegOpen(const WCHAR* subKey, LONG error);
// GetVersionExW succeeds but reports this platform and version.
void SeamSetVersion(DWORD platformId, DWORD major, DWORD minor);
// WriteFile writes at most maxBytes, returns TRUE and leaves lastError.
void SeamSetShortWrite(DWORD maxBytes, DWORD lastError);
// GetModuleFileNameW reports this path, truncating as Windows does: Vista and
// later terminate a cut path, XP leaves it unterminated; both return size.
void SeamSetModuleFileName(const WCHAR* path, bool unterminatedWhenCut = false);
// GetCommandLineW returns this text.
void SeamSetCommandLine(const WCHAR* commandLine);

struct SeamOutstanding
{
    int globalBlocks;
    int localBlocks;
    int keys;
    int modules;
    int files;
    int itemLists;   // from SHGetSpecialFolderLocation, until the shell's allocator frees them
    int allocators;  // references from SHGetMalloc, until released
};
SeamOutstanding SeamGetOutstanding();
bool SeamNothingOutstanding();
std::string SeamDescribeOutstanding();

// Every block the allocation hooks hand out (GMEM_FIXED, LMEM_FIXED) has a
// guard area behind it, checked when the block is freed. The number of
// blocks freed since the last reset whose guard area had been written to.
int SeamOverruns();

// Sizes the product asked for, in call order.
const std::vector<SIZE_T>& SeamGlobalAllocRequests();
const std::vector<SIZE_T>& SeamLocalAllocRequests();

struct SeamRegOpen
{
    HKEY root;
    std::wstring subKey;
    REGSAM access;
};
// Every RegOpenKeyExW and RegCreateKeyExW call, in order.
const std::vector<SeamRegOpen>& SeamRegOpens();
// Every LoadLibraryW name, in order.
const std::vector<std::wstring>& SeamLoadedNames();

// Every MessageBoxW the product made, in order. Unit tests never draw a box:
// the hook records it and answers IDOK at once, as a user pressing OK would;
// the end-to-end tests read real boxes off the screen.
struct SeamMessageBox
{
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
const std::vector<SeamMessageBox>& SeamMessageBoxes();

// Disarms every fault and clears the account and the logs.
void SeamReset();

#endif
