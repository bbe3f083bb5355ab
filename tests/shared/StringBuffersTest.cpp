#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "Seam.h"
#include "StringBuffers.h"

static_assert(!std::is_copy_constructible<WideBuffer>::value, "buffers are never copied");
static_assert(!std::is_copy_assignable<WideBuffer>::value, "buffers are never copied");
static_assert(!std::is_copy_constructible<NarrowBuffer>::value, "buffers are never copied");
static_assert(!std::is_copy_assignable<NarrowBuffer>::value, "buffers are never copied");

namespace
{

SIZE_T LastRequest() { return SeamGlobalAllocRequests().back(); }
int Blocks() { return SeamGetOutstanding().globalBlocks; }

}  // namespace

TEST(WideBufferAssign, AllocatesExactlyTheStringAndItsTerminator)
{
    const WCHAR* cases[] = {L"", L"a", L"C:\\Players\\Orvalis 3.10\\orvalis.exe"};
    for (const WCHAR* source : cases)
    {
        WideBuffer b;
        b.Assign(source);
        ASSERT_NE(nullptr, b.text);
        EXPECT_NE(source, b.text);
        EXPECT_STREQ(source, b.text);
        EXPECT_EQ(2 * wcslen(source) + 2, LastRequest());
        EXPECT_EQ(1, Blocks());
    }
    EXPECT_EQ(0, Blocks());
}

TEST(WideBufferAssign, ReplacesAndReleasesTheOldBlock)
{
    WideBuffer b;
    b.Assign(L"first");
    b.Assign(L"second, longer");
    EXPECT_STREQ(L"second, longer", b.text);
    EXPECT_EQ(1, Blocks());
    b.Assign(nullptr);
    EXPECT_EQ(nullptr, b.text);
    EXPECT_EQ(0, Blocks());
}

TEST(WideBufferAssign, FailedAllocationLeavesItUnsetAndThePreviousTextGone)
{
    WideBuffer b;
    b.Assign(L"previous");
    SeamFailCall(SeamCallGlobalAlloc, 2);
    b.Assign(L"next");
    EXPECT_EQ(nullptr, b.text);
    EXPECT_EQ(0, Blocks());
}

TEST(WideBufferAssign, SourceInsideItsOwnBlockIsCopiedBeforeTheBlockGoes)
{
    WideBuffer b;
    b.Assign(L"C:\\Players\\orvalis.exe");
    b.Assign(b.text + 11);
    EXPECT_STREQ(L"orvalis.exe", b.text);
    b.Assign(b.text);
    EXPECT_STREQ(L"orvalis.exe", b.text);
    EXPECT_EQ(1, Blocks());

    SeamFailCall(SeamCallGlobalAlloc, SeamCallsMade(SeamCallGlobalAlloc) + 1);
    b.Assign(b.text + 2);
    EXPECT_EQ(nullptr, b.text);
    EXPECT_EQ(0, Blocks());
}

TEST(WideBufferAssignFrom, CopiesTheOtherBuffer)
{
    WideBuffer chosen, candidate, unset;
    candidate.Assign(L"D:\\Orvalis\\Player\\OrvalisHost.dll");
    chosen.Assign(L"old");
    chosen.AssignFrom(candidate);
    EXPECT_STREQ(candidate.text, chosen.text);
    EXPECT_NE(candidate.text, chosen.text);
    EXPECT_EQ(2, Blocks());

    chosen.AssignFrom(unset);
    EXPECT_EQ(nullptr, chosen.text);
    EXPECT_EQ(1, Blocks());
}

TEST(WideBufferAssignFrom, ItselfLeavesItUnset)
{
    WideBuffer b;
    b.Assign(L"text");
    b.AssignFrom(b);
    EXPECT_EQ(nullptr, b.text);
    EXPECT_EQ(0, Blocks());
}

TEST(WideBufferAssignFrom, FailedAllocationLeavesItUnset)
{
    WideBuffer chosen, candidate;
    chosen.Assign(L"old");
    candidate.Assign(L"new");
    SeamFailCall(SeamCallGlobalAlloc, 3);
    chosen.AssignFrom(candidate);
    EXPECT_EQ(nullptr, chosen.text);
    EXPECT_STREQ(L"new", candidate.text);
}

TEST(WideBufferAppend, GrowsToExactlyTheConcatenation)
{
    struct Case
    {
        const WCHAR* start;  // null: unset
        const WCHAR* suffix;
        const WCHAR* expected;
        SIZE_T bytes;
    };
    const Case cases[] = {
        {L"C:\\P\\", L"Player\\OrvalisHost.dll", L"C:\\P\\Player\\OrvalisHost.dll", 56},
        {nullptr, L"suffix", L"suffix", 14},
        {L"kept", L"", L"kept", 10},
        {nullptr, L"", L"", 2},
    };
    for (const Case& c : cases)
    {
        WideBuffer b;
        b.Assign(c.start);
        EXPECT_TRUE(b.Append(c.suffix));
        ASSERT_NE(nullptr, b.text);
        EXPECT_STREQ(c.expected, b.text);
        EXPECT_EQ(c.bytes, LastRequest());
        EXPECT_EQ(1, Blocks());
    }
}

TEST(WideBufferAppend, NullSuffixChangesNothing)
{
    WideBuffer unset, set;
    set.Assign(L"abc");
    WCHAR* before = set.text;
    int calls = SeamCallsMade(SeamCallGlobalAlloc);
    EXPECT_TRUE(unset.Append(nullptr));
    EXPECT_TRUE(set.Append(nullptr));
    EXPECT_EQ(nullptr, unset.text);
    EXPECT_EQ(before, set.text);
    EXPECT_STREQ(L"abc", set.text);
    EXPECT_EQ(calls, SeamCallsMade(SeamCallGlobalAlloc));
}

TEST(WideBufferAppend, FailureKeepsTheOldBlockAndText)
{
    WideBuffer b, unset;
    b.Assign(L"[.ShellClassInfo]");
    WCHAR* before = b.text;
    SeamFailCall(SeamCallGlobalAlloc, 2, 2);
    EXPECT_FALSE(b.Append(L"\r\n"));
    EXPECT_EQ(before, b.text);
    EXPECT_STREQ(L"[.ShellClassInfo]", b.text);
    EXPECT_FALSE(unset.Append(L"x"));
    EXPECT_EQ(nullptr, unset.text);
    EXPECT_EQ(1, Blocks());
}

TEST(WideBufferAppend, ItsOwnTextAsSuffix)
{
    WideBuffer b;
    b.Assign(L"ab");
    EXPECT_TRUE(b.Append(b.text));
    EXPECT_STREQ(L"abab", b.text);
    EXPECT_TRUE(b.Append(b.text + 3));
    EXPECT_STREQ(L"ababb", b.text);
    EXPECT_EQ(1, Blocks());
}

TEST(WideBufferRelease, ScopeEndReleasesExactlyOnce)
{
    {
        WideBuffer b;
        b.Assign(L"x");
        b.Release();
        EXPECT_EQ(nullptr, b.text);
        b.Assign(L"y");
    }
    EXPECT_EQ(0, Blocks());
}

TEST(NarrowBufferAssignFromWide, ConvertsToTheCodePage)
{
    struct Case
    {
        UINT codePage;
        const WCHAR* source;
        std::string expected;
    };
    const Case cases[] = {
        {CP_ACP, L"", std::string("", 1)},
        {CP_ACP, L"\"C:\\Orvalis\\OrvalisOpen.exe\" -run",
         std::string("\"C:\\Orvalis\\OrvalisOpen.exe\" -run", 34)},
        {1252, L"Enth\u00e4lt", std::string("Enth\xe4lt", 8)},
        {1252, L"\u65e5\u672c", std::string("??", 3)},  // the code page's default character
        {CP_UTF8, L"\u00e5", std::string("\xc3\xa5", 3)},
    };
    for (const Case& c : cases)
    {
        NarrowBuffer n(c.codePage);
        EXPECT_EQ(c.codePage, n.codePage);
        n.AssignFromWide(c.source);
        ASSERT_NE(nullptr, n.text);
        EXPECT_EQ(c.expected.size(), LastRequest());
        EXPECT_EQ(c.expected, std::string(n.text, c.expected.size()));
        EXPECT_EQ(1, Blocks());
    }
}

TEST(NarrowBufferAssignFromWide, EveryFailureLeavesItUnsetAndReleased)
{
    struct Case
    {
        const WCHAR* source;
        SeamCall call;
        int nth;  // counted from the start of the conversion; 0: no fault
    };
    const Case cases[] = {
        {nullptr, SeamCallGlobalAlloc, 0},
        {L"sizing fails", SeamCallWideCharToMultiByte, 1},
        {L"no memory", SeamCallGlobalAlloc, 1},
        {L"conversion fails", SeamCallWideCharToMultiByte, 2},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        NarrowBuffer n(CP_ACP);
        n.AssignFromWide(L"previous");
        ASSERT_NE(nullptr, n.text);
        if (c.nth > 0)
            SeamFailCall(c.call, SeamCallsMade(c.call) + c.nth);
        n.AssignFromWide(c.source);
        EXPECT_EQ(nullptr, n.text);
        EXPECT_EQ(0, Blocks());
    }
}
