// The bare minimum a launcher must do: load a host from a fixed path and call
// it once. The benchmark's baselines: built as it is (kernel32 only), and with
// STUB_WITH_MESSAGE, which reports a missing host as Tidewell does and so
// imports user32 as well (once more with Tidewell's resources linked in).
#include <windows.h>

#include "OrvalisHost.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const WCHAR path[] = L"C:\\tidewell-bench\\Player\\OrvalisHost.dll";
    HMODULE host = LoadLibraryW(path);
    if (host == NULL)
    {
#ifdef STUB_WITH_MESSAGE
        MessageBoxW(NULL, L"Player\\OrvalisHost.dll cannot be opened.", L"Tidewell", MB_ICONERROR);
#endif
        return -1;
    }
    int result = -2;
    OrvalisHostWProc entry = reinterpret_cast<OrvalisHostWProc>(
        reinterpret_cast<void*>(GetProcAddress(host, ORVALIS_HOST_ENTRY_W)));
    if (entry != NULL)
        result = entry(L"Tidewell", GetCommandLineW(), instance, ORVALIS_HOST_MODE, path, 0, 0);
    FreeLibrary(host);
    return result;
}
