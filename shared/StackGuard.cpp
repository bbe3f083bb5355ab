// The runtime half of the compiler's stack protection: the guard value that
// every protected frame stores and checks, and what a failed check does.
// Linked into every shipped file instead of the toolchain's libssp, which
// opens a crypto provider from a constructor (inside DllMain, under the
// loader lock, in the setup library) and prints through the C runtime.
#include <windows.h>
#include <stdint.h>

namespace
{

// Nonzero before seeding too, so a frame entered earlier is still guarded.
#if UINTPTR_MAX > 0xFFFFFFFFu
const uintptr_t kUnseededGuard = 0x00002B992DDFA232ull;
#else
const uintptr_t kUnseededGuard = 0xBB40E64Eu;
#endif

// The widest part of a 64-bit value that fits the guard.
uintptr_t Fold(DWORD low, LONG high)
{
#if UINTPTR_MAX > 0xFFFFFFFFu
    return (static_cast<uintptr_t>(static_cast<DWORD>(high)) << 32) | low;
#else
    return low ^ static_cast<DWORD>(high);
#endif
}

}  // namespace

extern "C" {

uintptr_t __stack_chk_guard = kUnseededGuard;

// A smashed frame ends the process at once, as Windows' own runtime does:
// no message, no unwinding, and no exception handler of a host's or an
// installer's gets to run on the corrupted stack.
__attribute__((noreturn, no_stack_protector)) void __stack_chk_fail(void)
{
    for (;;)
        TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
}

}  // extern "C"

// Seeds the guard before any protected function of ours runs: the C runtime
// calls constructors before WinMain, main and DllMain. Only kernel32 calls that
// load nothing, so it is safe under the loader lock. Not protected itself: its
// frame would be checked against the value it changes.
__attribute__((constructor(101), no_stack_protector)) static void SeedStackGuard()
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    uintptr_t guard = Fold(now.dwLowDateTime, static_cast<LONG>(now.dwHighDateTime));
    guard ^= GetCurrentProcessId();
    guard ^= static_cast<uintptr_t>(GetCurrentThreadId()) << (sizeof(uintptr_t) * 4);
    guard ^= GetTickCount();
    guard ^= Fold(counter.LowPart, counter.HighPart);
    guard ^= reinterpret_cast<uintptr_t>(
        &counter);  // where the stack lies differs from process to process
    if (guard == 0 || guard == kUnseededGuard)
        guard = kUnseededGuard ^ 0x5A5A5A5Au;
    __stack_chk_guard = guard;
}
