// The contract with the separately delivered player host library.
#ifndef SHARED_ORVALIS_HOST_H
#define SHARED_ORVALIS_HOST_H

#include <windows.h>

// Seven 32-bit arguments, callee pops: product, command line, launcher
// instance, 10, host path, 0, 0. The result becomes the exit code.
typedef int (WINAPI* OrvalisHostWProc)(const WCHAR* product, const WCHAR* commandLine,
                                       HINSTANCE instance, int mode, const WCHAR* hostPath,
                                       DWORD reserved1, DWORD reserved2);
typedef int (WINAPI* OrvalisHostProc)(const char* product, const char* commandLine,
                                      HINSTANCE instance, int mode, const char* hostPath,
                                      DWORD reserved1, DWORD reserved2);

#define ORVALIS_HOST_ENTRY_W "OrvalisHostW"
#define ORVALIS_HOST_ENTRY_A "OrvalisHost"
#define ORVALIS_HOST_RELATIVE_PATH L"Player\\OrvalisHost.dll"
#define ORVALIS_HOST_MODE 10

// Exit codes of the launchers' own failures.
#define LAUNCHER_EXIT_NO_HOST (-1)
#define LAUNCHER_EXIT_NO_ENTRY (-2)

#endif
