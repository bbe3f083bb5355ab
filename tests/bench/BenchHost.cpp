// The benchmark's player host: notes the performance counter the moment it is
// entered, in %ORVALIS_BENCH_STAMP%, and returns 0.
#include <windows.h>

#include <stdio.h>

namespace
{

int Stamp()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    WCHAR path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ORVALIS_BENCH_STAMP", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    char text[32];
    int length = snprintf(text, sizeof text, "%lld", static_cast<long long>(now.QuadPart));
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, NULL);
    CloseHandle(file);
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) int WINAPI
    OrvalisHostW(const WCHAR*, const WCHAR*, HINSTANCE, int, const WCHAR*, DWORD, DWORD)
{
    return Stamp();
}
