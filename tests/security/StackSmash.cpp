// A test-only program and library built exactly as the shipped files are
// (the same compile and link options and the same guard runtime), to show
// that a smashed frame ends the process and that the guard is seeded.
//   StackSmash.exe smash        overruns a stack buffer in the program
//   StackSmash.exe smash-dll    ...in the library, as in the setup library
//   StackSmash.exe guard FILE   writes the guard values to FILE
// Exit codes that mean the protection failed: 1 the overrun returned, 3 an
// exception handler ran, 4 the C runtime's exit ran, 5 the library is missing.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" uintptr_t __stack_chk_guard;

namespace
{

// How far Overrun writes: read at run time, so the compiler can neither see
// the overrun nor treat it as a loop without end.
volatile int overrunUnits = 64;

// Writes overrunUnits bytes into a 16-byte buffer, over the guard and the
// return address behind it.
__attribute__((noinline)) int Overrun()
{
    volatile char buffer[16];
    int units = overrunUnits;
    for (int i = 0; i < units; ++i)
        buffer[i] = 'A';
    return buffer[0];
}

}  // namespace

#ifdef STACK_SMASH_LIBRARY

namespace
{
uintptr_t guardAtAttach = 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        guardAtAttach = __stack_chk_guard;
    return TRUE;
}

extern "C" __declspec(dllexport) uintptr_t GuardAtAttach() { return guardAtAttach; }
extern "C" __declspec(dllexport) uintptr_t CurrentGuard() { return __stack_chk_guard; }
extern "C" __declspec(dllexport) int OverrunInLibrary() { return Overrun(); }

#else

namespace
{

LONG WINAPI HandlerRan(EXCEPTION_POINTERS*) { ExitProcess(3); }

void ExitRan() { _exit(4); }

HMODULE LoadProbe()
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NULL;
    WCHAR* slash = wcsrchr(path, L'\\');
    const WCHAR name[] = L"StackSmashProbe.dll";
    if (!slash || (slash + 1 - path) + wcslen(name) + 1 > MAX_PATH)
        return NULL;
    wcscpy(slash + 1, name);
    return LoadLibraryW(path);
}

template <typename Function>
Function Bind(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && strcmp(argv[1], "guard") == 0 && argc == 3)
    {
        HMODULE probe = LoadProbe();
        if (!probe)
            return 5;
        typedef uintptr_t(__cdecl * Reader)();
        Reader atAttach = Bind<Reader>(probe, "GuardAtAttach");
        Reader current = Bind<Reader>(probe, "CurrentGuard");
        FILE* out = fopen(argv[2], "w");
        if (!atAttach || !current || !out)
            return 5;
        fprintf(out, "program=%llx\nlibrary-at-attach=%llx\nlibrary=%llx\n",
                (unsigned long long)__stack_chk_guard, (unsigned long long)atAttach(),
                (unsigned long long)current());
        fclose(out);
        FreeLibrary(probe);
        return 0;
    }
    if (argc != 2)
        return 2;
    // Every way a host's or an installer's code could get control back.
    SetUnhandledExceptionFilter(HandlerRan);
    AddVectoredExceptionHandler(1, HandlerRan);
    atexit(ExitRan);
    if (strcmp(argv[1], "smash") == 0)
    {
        Overrun();
        _exit(1);
    }
    if (strcmp(argv[1], "smash-dll") == 0)
    {
        HMODULE probe = LoadProbe();
        typedef int(__cdecl * Smasher)();
        Smasher smash = probe ? Bind<Smasher>(probe, "OverrunInLibrary") : NULL;
        if (!smash)
            _exit(5);
        smash();
        _exit(1);
    }
    return 2;
}

#endif
