// The least a launcher can do: load the host from a fixed path and call it
// once. The benchmark's baseline. Built a second time with BENCH_WITH_USER32:
// then it also imports the message box, as every launcher must, without
// ever showing it.
#include <windows.h>

#include "OrvalisHost.h"
#include "ScopeGuards.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const WCHAR path[] = L"C:\\orvalis-bench\\i0000\\Player\\OrvalisHost.dll";
    HMODULE host = LoadLibraryW(path);
    if (host == NULL)
        return -1;
    int result = -2;
    OrvalisHostWProc entry = BIND_PROC(host, OrvalisHostW);
    if (entry != NULL)
        result = entry(NULL, GetCommandLineW(), instance, kHostMode, path, 0, 0);
#ifdef BENCH_WITH_USER32
    if (result == 0x7FFFABCD)
        MessageBoxW(NULL, path, L"BenchStub", MB_ICONERROR);
#endif
    FreeLibrary(host);
    return result;
}
