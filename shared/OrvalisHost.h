// The contract with the separately delivered player host library.
#ifndef SHARED_ORVALIS_HOST_H
#define SHARED_ORVALIS_HOST_H

#include <windows.h>

// Seven 32-bit arguments, callee pops: product, command line, launcher
// instance, 10, host path, 0, 0. The result becomes the exit code. A host
// library defines these; the launchers bind them at run time through
// pointer types derived from these declarations, so a host definition with
// another calling convention does not compile against them.
extern "C" int WINAPI OrvalisHostW(const WCHAR* product, const WCHAR* commandLine,
                                   HINSTANCE instance, int mode, const WCHAR* hostPath,
                                   DWORD reserved1, DWORD reserved2);
extern "C" int WINAPI OrvalisHost(const char* product, const char* commandLine, HINSTANCE instance,
                                  int mode, const char* hostPath, DWORD reserved1, DWORD reserved2);

typedef decltype(&OrvalisHostW) OrvalisHostWProc;
typedef decltype(&OrvalisHost) OrvalisHostProc;

const WCHAR kHostRelativePath[] = L"Player\\OrvalisHost.dll";
const int kHostMode = 10;

// The launchers' messages, each shown with the launcher's name as caption.
const WCHAR kHostNotFound[] = L"Player\\OrvalisHost.dll cannot be found.";
const WCHAR kHostNotOpened[] = L"Player\\OrvalisHost.dll cannot be opened.";

// Exit codes of the launchers' own failures.
const int kExitNoHost = -1;
const int kExitNoEntry = -2;

#endif
