// A smashed frame ends the process with STATUS_STACK_BUFFER_OVERRUN and
// nothing else runs; the guard is seeded before any code of ours, differs
// from process to process and is never 0.
#include <gtest/gtest.h>

#include <stdint.h>

#include <map>
#include <string>

#include "TestSupport.h"

namespace
{

std::wstring Smasher() { return BinDir() + L"\\stacksmash\\StackSmash.exe"; }

// The value the guard has before it is seeded.
#if UINTPTR_MAX > 0xFFFFFFFFu
const unsigned long long kUnseededGuard = 0x00002B992DDFA232ull;
#else
const unsigned long long kUnseededGuard = 0xBB40E64Eull;
#endif

std::map<std::string, unsigned long long> GuardsOfOneProcess(const std::wstring& scratch, int n)
{
    std::wstring file = scratch + L"\\guards" + std::to_wstring(n) + L".txt";
    EXPECT_EQ(0u, RunProgram(Smasher(), L"StackSmash.exe guard \"" + file + L"\""));
    std::map<std::string, unsigned long long> guards;
    for (const auto& entry : ReadRecord(file))
        guards[entry.first] = std::stoull(entry.second, nullptr, 16);
    return guards;
}

}  // namespace

TEST(StackGuard, ASmashedFrameEndsTheProcessAtOnce)
{
    // 1: the overrun returned; 3: an exception handler ran; 4: the C runtime's exit ran.
    for (const wchar_t* where : {L"smash", L"smash-dll"})
    {
        SCOPED_TRACE(Utf8(where));
        EXPECT_EQ(static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN),
                  RunProgram(Smasher(), std::wstring(L"StackSmash.exe ") + where));
    }
}

TEST(StackGuard, IsSeededBeforeOurCodeAndDiffersBetweenProcesses)
{
    std::wstring scratch = MakeScratchDir(L"stack-guard");
    std::map<std::string, unsigned long long> first = GuardsOfOneProcess(scratch, 1);
    std::map<std::string, unsigned long long> second = GuardsOfOneProcess(scratch, 2);
    RemoveTree(scratch);
    for (const char* name : {"program", "library", "library-at-attach"})
    {
        SCOPED_TRACE(name);
        ASSERT_EQ(1u, first.count(name));
        ASSERT_EQ(1u, second.count(name));
        EXPECT_NE(0u, first[name]);
        EXPECT_NE(kUnseededGuard, first[name]);
        EXPECT_NE(first[name], second[name]);
    }
    // The library's DllMain already saw the final value.
    EXPECT_EQ(first["library"], first["library-at-attach"]);
    EXPECT_EQ(second["library"], second["library-at-attach"]);
}
