// Time from process creation to the host's entry, for OrvalisOpen.exe,
// Tidewell.exe, the bare stub and the stub that also imports the message box,
// with 1, 100 and 1,000 registered installations. Tidewell and both stubs
// load the first installation's host (the stubs by its fixed path), so only
// OrvalisOpen's time depends on the number registered.
//   LauncherBench ORVALISOPEN TIDEWELL STUB STUB_USER32 HOST [RUNS [COUNT...]]
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace
{

const WCHAR kRoot[] = L"C:\\orvalis-bench";
const WCHAR kKey[] = L"SOFTWARE\\Quillon\\Orvalis\\Players";

std::wstring Wide(const char* text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
    return out;
}

std::wstring Folder(int i)
{
    WCHAR name[64];
    swprintf(name, 64, L"%ls\\i%04d", kRoot, i);
    return name;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

// n installations, all with the same host version, so the first one wins and
// every one of them is examined; Tidewell sits in the first one.
bool Install(int n, const std::wstring& host, const std::wstring& tidewell)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    RemoveTree(kRoot);
    CreateDirectoryW(kRoot, NULL);
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != 0)
        return false;
    bool ok = true;
    for (int i = 0; i < n && ok; ++i)
    {
        std::wstring dir = Folder(i);
        std::wstring app = dir + L"\\OrvalisPlayer.exe";
        CreateDirectoryW(dir.c_str(), NULL);
        CreateDirectoryW((dir + L"\\Player").c_str(), NULL);
        HANDLE file = CreateFileW(app.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ok = file != INVALID_HANDLE_VALUE;
        if (ok)
            CloseHandle(file);
        ok = ok && CopyFileW(host.c_str(), (dir + L"\\Player\\OrvalisHost.dll").c_str(), FALSE);
        WCHAR name[32];
        swprintf(name, 32, L"Orvalis %04d", i);
        ok = ok && RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(app.c_str()),
                                  static_cast<DWORD>((app.size() + 1) * sizeof(WCHAR))) == 0;
    }
    RegCloseKey(key);
    return ok && CopyFileW(tidewell.c_str(), (Folder(0) + L"\\Tidewell.exe").c_str(), FALSE);
}

// Milliseconds from just before CreateProcessW to the host's entry; negative
// when the run failed.
double TimeOne(const std::wstring& exe, const std::wstring& stamp)
{
    DeleteFileW(stamp.c_str());
    std::wstring line = L"\"" + exe + L"\" demo.prg";
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    LARGE_INTEGER before, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    if (!CreateProcessW(exe.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    char text[32] = {0};
    HANDLE file = CreateFileW(stamp.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (code != 0 || file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, NULL);
    CloseHandle(file);
    long long entered = _atoi64(text);
    return (entered - before.QuadPart) * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6)
    {
        fprintf(stderr, "usage: LauncherBench ORVALISOPEN TIDEWELL STUB STUB_USER32 HOST "
                        "[RUNS [COUNT...]]\n");
        return 2;
    }
    std::wstring launcher = Wide(argv[1]), tidewellBuilt = Wide(argv[2]), stub = Wide(argv[3]),
                 stubUser32 = Wide(argv[4]), host = Wide(argv[5]);
    std::wstring tidewell = Folder(0) + L"\\Tidewell.exe";
    int runs = argc > 6 ? atoi(argv[6]) : 31;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring stamp = std::wstring(temp) + L"orvalis-bench-stamp.txt";
    SetEnvironmentVariableW(L"ORVALIS_BENCH_STAMP", stamp.c_str());

    printf("| installations | stub (ms) | stub + user32 (ms) | OrvalisOpen (ms) "
           "| ratio to stub | ratio to stub + user32 | Tidewell (ms) | ratio to stub "
           "| ratio to stub + user32 |\n");
    printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::vector<int> counts;
    for (int i = 7; i < argc; ++i)
        counts.push_back(atoi(argv[i]));
    if (counts.empty())
        counts = {1, 100, 1000};
    int status = 0;
    for (int n : counts)
    {
        if (!Install(n, host, tidewellBuilt))
        {
            fprintf(stderr, "could not set up %d installations\n", n);
            return 1;
        }
        const std::wstring* programs[] = {&stub, &stubUser32, &launcher, &tidewell};
        const int kinds = sizeof programs / sizeof programs[0];
        for (int warm = 0; warm < 3; ++warm)
            for (const std::wstring* program : programs)
                TimeOne(*program, stamp);
        std::vector<double> times[kinds];
        for (int r = 0; r < runs; ++r)
            for (int p = 0; p < kinds; ++p)
            {
                double t = TimeOne(*programs[p], stamp);
                if (t < 0)
                    status = 1;
                else
                    times[p].push_back(t);
            }
        double s = Median(times[0]), u = Median(times[1]), l = Median(times[2]),
               t = Median(times[3]);
        printf("| %d | %.1f | %.1f | %.1f | %.2f | %.2f | %.1f | %.2f | %.2f |\n", n, s, u, l,
               s > 0 ? l / s : 0, u > 0 ? l / u : 0, t, s > 0 ? t / s : 0, u > 0 ? t / u : 0);
        fflush(stdout);
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    RemoveTree(kRoot);
    if (status != 0)
        fprintf(stderr, "some runs failed and were left out\n");
    return status;
}
