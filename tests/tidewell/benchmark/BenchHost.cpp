// A player host for the start-up benchmark: notes the moment its entry is
// reached in the driver's shared slot and returns at once.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI OrvalisHostW(const WCHAR*, const WCHAR*, HINSTANCE,
                                                         int, const WCHAR*, DWORD, DWORD)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    HANDLE slot = OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"Local\\TidewellBenchEntry");
    if (slot != NULL)
    {
        LONGLONG* at = static_cast<LONGLONG*>(MapViewOfFile(slot, FILE_MAP_WRITE, 0, 0, 0));
        if (at != NULL)
        {
            *at = now.QuadPart;
            UnmapViewOfFile(at);
        }
        CloseHandle(slot);
    }
    return 0;
}
