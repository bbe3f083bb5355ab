#include <gtest/gtest.h>

#include <map>
#include <string>

#include "HostHandOver.h"
#include "Seam.h"
#include "TestSupport.h"

TEST(CopyCommandLine, CopiesTheProcessCommandLineOnce)
{
    SeamSetCommandLine(L"\"C:\\Apps\\Tidewell.exe\" -autostart \"disk 1.d64\"");
    WideBuffer line;
    CopyCommandLine(line);
    ASSERT_NE(nullptr, line.text);
    EXPECT_STREQ(L"\"C:\\Apps\\Tidewell.exe\" -autostart \"disk 1.d64\"", line.text);
    EXPECT_EQ(1, SeamCallsMade(SeamCallGlobalAlloc));
}

TEST(CopyCommandLine, EmptyOrFailedFirstCopyIsMadeOnceMore)
{
    struct Case
    {
        const WCHAR* commandLine;
        int failedAllocations;  // from the first
        const WCHAR* expected;  // null: no copy
    };
    const Case cases[] = {
        {L"", 0, L""},
        {L"x.exe", 1, L"x.exe"},
        {L"x.exe", 2, nullptr},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        SeamSetCommandLine(c.commandLine);
        if (c.failedAllocations > 0)
            SeamFailCall(SeamCallGlobalAlloc, 1, c.failedAllocations);
        WideBuffer line;
        CopyCommandLine(line);
        EXPECT_EQ(2, SeamCallsMade(SeamCallGlobalAlloc));
        if (c.expected == nullptr)
            EXPECT_EQ(nullptr, line.text);
        else
        {
            ASSERT_NE(nullptr, line.text);
            EXPECT_STREQ(c.expected, line.text);
        }
    }
}

TEST(CallHostW, CallsTheWideEntryWithTheSevenArguments)
{
    std::wstring dir = MakeScratchDir(L"handover");
    std::wstring log = dir + L"\\received.txt";
    ScopedEnvironment fixture({L"ORVALIS_FIXTURE_LOG=" + log, L"ORVALIS_FIXTURE_RESULT=-7"});
    std::wstring path = FixtureHost(L"host-3.9");
    HMODULE host = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, host);
    int result = 0;
    EXPECT_TRUE(
        CallHostW(host, L"Tidewell", L"cmd line", GetModuleHandleW(NULL), path.c_str(), &result));
    EXPECT_EQ(-7, result);
    std::map<std::string, std::string> r = ReadRecord(log);
    ExpectWideCall(r, "Tidewell", L"cmd line", path);
    FreeLibrary(host);

    HMODULE narrowOnly = LoadLibraryW(FixtureHost(L"host-narrow").c_str());
    ASSERT_NE(nullptr, narrowOnly);
    result = 99;
    EXPECT_FALSE(CallHostW(narrowOnly, nullptr, L"x", NULL, L"y", &result));
    EXPECT_EQ(99, result);
    FreeLibrary(narrowOnly);
    RemoveTree(dir);
}
