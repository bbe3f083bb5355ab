// Forced into every product source of the test build (and only there): routes
// chosen platform calls through hooks that forward to the real functions
// unless a test has armed a fault, and that account for every block, key,
// module and file handle acquired. The product sources themselves never mention it.
#ifndef TESTS_SEAM_HOOKS_H
#define TESTS_SEAM_HOOKS_H

// Everything that declares a hooked function comes first, so the macros below
// never rename a platform declaration.
#include <windows.h>
#include <shlobj.h>

#ifdef __cplusplus
extern "C" {
#endif

HGLOBAL WINAPI SeamGlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI SeamGlobalFree(HGLOBAL block);
HLOCAL WINAPI SeamLocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI SeamLocalFree(HLOCAL block);
LONG WINAPI SeamRegOpenKeyExW(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WINAPI SeamRegCreateKeyExW(HKEY root, LPCWSTR subKey, DWORD reserved, LPWSTR className,
                                DWORD options, REGSAM access,
                                const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                LPDWORD disposition);
LONG WINAPI SeamRegCloseKey(HKEY key);
LONG WINAPI SeamRegQueryInfoKeyW(HKEY key, LPWSTR className, LPDWORD classLength,
                                 LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                 LPDWORD maxClassLength, LPDWORD values,
                                 LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                 LPDWORD securityDescriptor, PFILETIME lastWriteTime);
LONG WINAPI SeamRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                               const BYTE* data, DWORD bytes);
LONG WINAPI SeamRegDeleteKeyW(HKEY parent, LPCWSTR subKey);
LONG WINAPI SeamRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                 LPBYTE data, LPDWORD bytes);
LONG WINAPI SeamRegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameUnits,
                              LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD bytes);
LONG WINAPI SeamRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameUnits,
                              LPDWORD reserved, LPWSTR className, LPDWORD classUnits,
                              PFILETIME lastWriteTime);
LONG WINAPI SeamRegDeleteValueW(HKEY key, LPCWSTR name);
HANDLE WINAPI SeamCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition,
                              DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI SeamCloseHandle(HANDLE handle);
HMODULE WINAPI SeamLoadLibraryW(LPCWSTR name);
BOOL WINAPI SeamFreeLibrary(HMODULE module);
FARPROC WINAPI SeamGetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI SeamGetVersionExW(LPOSVERSIONINFOW info);
BOOL WINAPI SeamWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                          LPOVERLAPPED overlapped);
DWORD WINAPI SeamGetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size);
LPWSTR WINAPI SeamGetCommandLineW(void);
int WINAPI SeamWideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int units,
                                   LPSTR out, int outBytes, LPCSTR defaultChar,
                                   LPBOOL usedDefault);
DWORD WINAPI SeamExpandEnvironmentStringsW(LPCWSTR source, LPWSTR out, DWORD size);
HRESULT WINAPI SeamSHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* list);
HRESULT WINAPI SeamSHGetMalloc(LPMALLOC* allocator);
int WINAPI SeamMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

#ifdef __cplusplus
}
#endif

#define GlobalAlloc SeamGlobalAlloc
#define GlobalFree SeamGlobalFree
#define LocalAlloc SeamLocalAlloc
#define LocalFree SeamLocalFree
#define RegOpenKeyExW SeamRegOpenKeyExW
#define RegCreateKeyExW SeamRegCreateKeyExW
#define RegCloseKey SeamRegCloseKey
#define RegQueryInfoKeyW SeamRegQueryInfoKeyW
#define RegSetValueExW SeamRegSetValueExW
#define RegDeleteKeyW SeamRegDeleteKeyW
#define RegQueryValueExW SeamRegQueryValueExW
#define RegEnumValueW SeamRegEnumValueW
#define RegEnumKeyExW SeamRegEnumKeyExW
#define RegDeleteValueW SeamRegDeleteValueW
#define CreateFileW SeamCreateFileW
#define CloseHandle SeamCloseHandle
#define LoadLibraryW SeamLoadLibraryW
#define FreeLibrary SeamFreeLibrary
#define GetProcAddress SeamGetProcAddress
#define GetVersionExW SeamGetVersionExW
#define WriteFile SeamWriteFile
#define GetModuleFileNameW SeamGetModuleFileNameW
#define GetCommandLineW SeamGetCommandLineW
#define WideCharToMultiByte SeamWideCharToMultiByte
#define ExpandEnvironmentStringsW SeamExpandEnvironmentStringsW
#define SHGetSpecialFolderLocation SeamSHGetSpecialFolderLocation
#define SHGetMalloc SeamSHGetMalloc
#define MessageBoxW SeamMessageBoxW

#endif
