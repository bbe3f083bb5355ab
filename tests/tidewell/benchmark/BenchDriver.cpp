// Start-up benchmark: time from CreateProcessW to the host's entry, and to
// the process's end, for Tidewell.exe and three bare stubs (kernel32 only;
// with user32; with user32 and Tidewell's resources), all placed in C:\tidewell-bench beside the same host. Runs are
// interleaved; medians shown.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace
{

const wchar_t kBench[] = L"C:\\tidewell-bench";

struct Sample
{
    double toEntry, toExit;  // milliseconds
};

bool RunOnce(const std::wstring& exe, LONGLONG* slot, Sample* sample)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    *slot = 0;
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::wstring line = L"\"" + exe + L"\" -autostart disk.d64";
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (code != 0 || *slot == 0)
        return false;
    const double ms = 1000.0 / static_cast<double>(frequency.QuadPart);
    sample->toEntry = static_cast<double>(*slot - start.QuadPart) * ms;
    sample->toExit = static_cast<double>(end.QuadPart - start.QuadPart) * ms;
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = argc > 1 ? _wtoi(argv[1]) : 20;
    const std::wstring bench = kBench;
    RemoveTree(bench);
    const int kinds = 4;
    const std::wstring exes[kinds] = {bench + L"\\Tidewell.exe", bench + L"\\Stub.exe",
                                      bench + L"\\StubUser32.exe",
                                      bench + L"\\StubResources.exe"};
    const char* const names[kinds] = {"Tidewell.exe", "bare stub", "+ user32",
                                      "+ user32 + resources"};
    if (!CopyInto(DistDir() + L"\\Tidewell.exe", exes[0]) ||
        !CopyInto(BinDir() + L"\\tidewell-bench\\Stub.exe", exes[1]) ||
        !CopyInto(BinDir() + L"\\tidewell-bench\\StubUser32.exe", exes[2]) ||
        !CopyInto(BinDir() + L"\\tidewell-bench\\StubResources.exe", exes[3]) ||
        !CopyInto(BinDir() + L"\\tidewell-bench\\OrvalisHost.dll",
                  bench + L"\\Player\\OrvalisHost.dll"))
    {
        std::fprintf(stderr, "cannot set up %ls\n", kBench);
        return 1;
    }
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                        sizeof(LONGLONG), L"Local\\TidewellBenchEntry");
    LONGLONG* slot = static_cast<LONGLONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (slot == NULL)
        return 1;

    std::vector<double> entry[kinds], exit[kinds];
    for (int warm = 0; warm < 2; ++warm)
    {
        for (int which = 0; which < kinds; ++which)
        {
            Sample s;
            RunOnce(exes[which], slot, &s);
        }
    }
    for (int i = 0; i < runs; ++i)
    {
        for (int which = 0; which < kinds; ++which)
        {
            Sample s;
            if (!RunOnce(exes[which], slot, &s))
            {
                std::fprintf(stderr, "run of %ls failed\n", exes[which].c_str());
                return 1;
            }
            entry[which].push_back(s.toEntry);
            exit[which].push_back(s.toExit);
        }
    }
    std::printf("%d runs each, medians in ms (process start -> host entry / -> process end)\n",
                runs);
    for (int which = 0; which < kinds; ++which)
        std::printf("  %-24s %8.2f %8.2f\n", names[which], Median(entry[which]),
                    Median(exit[which]));
    for (int which = 1; which < kinds; ++which)
        std::printf("  Tidewell - %-21s %8.2f %8.2f\n", names[which],
                    Median(entry[0]) - Median(entry[which]),
                    Median(exit[0]) - Median(exit[which]));
    UnmapViewOfFile(slot);
    CloseHandle(mapping);
    RemoveTree(bench);
    return 0;
}
