#include <gtest/gtest.h>

#include <map>
#include <string>

#include "GuardedPathBuffer.h"
#include "ProductLauncher.h"
#include "Seam.h"
#include "TestSupport.h"

namespace
{

const WCHAR kHostRelative[] = L"Player\\OrvalisHost.dll";

// A folder part ("C:\fff...\") of exactly `units` code units.
std::wstring FolderOf(size_t units) { return L"C:\\" + std::wstring(units - 4, L'f') + L"\\"; }

// A launcher's folder with a fixture host in Player\, for runs that load it.
struct HostBeside
{
    std::wstring dir;
    std::wstring hostPath;
    std::wstring record;

    explicit HostBeside(const WCHAR* variant)
    {
        dir = MakeScratchDir(L"tidewell-unit");
        hostPath = dir + L"\\" + kHostRelative;
        record = dir + L"\\Player\\received.txt";
        CopyInto(FixtureHost(variant), hostPath);
        SeamSetModuleFileName((dir + L"\\Tidewell.exe").c_str());
    }
    ~HostBeside() { RemoveTree(dir); }
};

}  // namespace

TEST(MakeHostPathW, WritesTheHostPathOverTheFileNameWithinTheBuffer)
{
    struct Case
    {
        std::wstring modulePath;
        bool unterminatedWhenCut;
        HostPathStatus status;
        std::wstring hostPath;  // when ready
    };
    const std::wstring fits = FolderOf(237);  // folder + 22 units + terminator = 260
    const std::wstring cutFolder = L"C:\\Apps\\";
    const Case cases[] = {
        {L"C:\\Apps\\Product\\Tidewell.exe", false, HostPathReady,
         L"C:\\Apps\\Product\\Player\\OrvalisHost.dll"},
        {L"D:\\Tidewell.exe", false, HostPathReady, L"D:\\Player\\OrvalisHost.dll"},
        {L"\\\\server\\share\\Tidewell.exe", false, HostPathReady,
         L"\\\\server\\share\\Player\\OrvalisHost.dll"},
        // No backslash after the first unit: the relative path goes behind it.
        {L"Tidewell.exe", false, HostPathReady, L"TPlayer\\OrvalisHost.dll"},
        {L"\\Tidewell.exe", false, HostPathReady, L"\\Player\\OrvalisHost.dll"},
        {L"X", false, HostPathReady, L"XPlayer\\OrvalisHost.dll"},
        // The exact fit, and one unit more.
        {fits + L"Tidewell.exe", false, HostPathReady, fits + kHostRelative},
        {FolderOf(238) + L"T.exe", false, HostPathTooLong, L""},
        {FolderOf(258) + L"T", false, HostPathTooLong, L""},
        // The longest path that is returned whole.
        {cutFolder + std::wstring(259 - cutFolder.size(), L'n'), false, HostPathReady,
         cutFolder + kHostRelative},
        // Cut at 260 units, terminated (Vista and later) or not (XP): the
        // folder would fit, but a cut path is never trusted.
        {cutFolder + std::wstring(260 - cutFolder.size(), L'n'), false, HostPathTooLong, L""},
        {cutFolder + std::wstring(260 - cutFolder.size(), L'n'), true, HostPathTooLong, L""},
        {cutFolder + std::wstring(400, L'n'), false, HostPathTooLong, L""},
        {cutFolder + std::wstring(400, L'n'), true, HostPathTooLong, L""},
        {FolderOf(300) + L"Tidewell.exe", true, HostPathTooLong, L""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.modulePath.substr(0, 40)) + "... (" +
                     std::to_string(c.modulePath.size()) + " units)");
        SeamReset();
        SeamSetModuleFileName(c.modulePath.c_str(), c.unterminatedWhenCut);
        // Backslashes behind the buffer: a search or a copy running past its
        // end would show.
        GuardedPathBuffer buffer(L'\\');
        EXPECT_EQ(c.status, MakeHostPathW(GetModuleHandleW(NULL), buffer.path()));
        EXPECT_TRUE(buffer.GuardIntact());
        if (c.status == HostPathReady)
        {
            EXPECT_EQ(c.hostPath, std::wstring(buffer.path()));
        }
    }
}

TEST(MakeHostPathW, UnreadableModulePath)
{
    SeamFailCall(SeamCallGetModuleFileNameW, 1, 1, ERROR_INVALID_HANDLE);
    WCHAR path[kPathUnits];
    EXPECT_EQ(HostPathUnreadable, MakeHostPathW(GetModuleHandleW(NULL), path));
}

TEST(MakeHostPathW, ReadsItsOwnModulePath)
{
    WCHAR path[kPathUnits];
    ASSERT_EQ(HostPathReady, MakeHostPathW(GetModuleHandleW(NULL), path));
    EXPECT_EQ(BinDir() + L"\\" + kHostRelative, std::wstring(path));
}

TEST(RunTidewell, HandsTheCommandLineCopyToTheHost)
{
    struct Case
    {
        const WCHAR* commandLine;
        int failedAllocations;  // from the first
        int allocations;
        const char* received;
    };
    const Case cases[] = {
        {L"\"C:\\Apps\\Tidewell.exe\" -autostart \"disk 1.d64\"", 0, 1,
         "\"C:\\Apps\\Tidewell.exe\" -autostart \"disk 1.d64\""},
        // An empty line is copied once more and still handed on as "".
        {L"", 0, 2, ""},
        {L"Tidewell.exe x", 1, 2, "Tidewell.exe x"},
        // Both copies failed: the host gets null.
        {L"Tidewell.exe x", 2, 2, "<null>"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.received);
        SeamReset();
        HostBeside beside(L"host-3.9");
        SeamSetCommandLine(c.commandLine);
        if (c.failedAllocations > 0)
            SeamFailCall(SeamCallGlobalAlloc, 1, c.failedAllocations);
        EXPECT_EQ(0, RunTidewell(GetModuleHandleW(NULL)));
        EXPECT_EQ(c.allocations, SeamCallsMade(SeamCallGlobalAlloc));
        std::map<std::string, std::string> r = ReadRecord(beside.record);
        EXPECT_EQ("OrvalisHostW", r["entry"]);
        EXPECT_EQ("Tidewell", r["product"]);
        EXPECT_EQ(c.received, r["commandLine"]);
        EXPECT_EQ(Utf8(beside.hostPath), r["hostPath"]);
        ExpectStandardArguments(r);
        ASSERT_EQ(1u, SeamLoadedNames().size());
        EXPECT_EQ(beside.hostPath, SeamLoadedNames()[0]);
        EXPECT_EQ(0, SeamGetOutstanding().modules);
    }
}

TEST(RunTidewell, UnreadableModulePathEndsWithZeroAndLoadsNothing)
{
    HostBeside beside(L"host-3.9");
    SeamFailCall(SeamCallGetModuleFileNameW, 1, 1, ERROR_INVALID_HANDLE);
    EXPECT_EQ(0, RunTidewell(GetModuleHandleW(NULL)));
    EXPECT_EQ(0, SeamCallsMade(SeamCallLoadLibraryW));
    EXPECT_TRUE(SeamMessageBoxes().empty());
    EXPECT_FALSE(FileExists(beside.record));
}

TEST(RunTidewell, HostThatCannotBeOpenedIsReportedAndNothingElseIsTried)
{
    struct Case
    {
        std::wstring modulePath;
        bool unterminatedWhenCut;
        int loadAttempts;
    };
    const Case cases[] = {
        {L"C:\\nowhere\\Tidewell.exe", false, 1},
        {FolderOf(238) + L"Tidewell.exe", false, 0},
        {L"C:\\Apps\\" + std::wstring(300, L'n'), false, 0},
        {L"C:\\Apps\\" + std::wstring(300, L'n'), true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.modulePath.size()) + " units");
        SeamReset();
        SeamSetModuleFileName(c.modulePath.c_str(), c.unterminatedWhenCut);
        EXPECT_EQ(-1, RunTidewell(GetModuleHandleW(NULL)));
        EXPECT_EQ(c.loadAttempts, SeamCallsMade(SeamCallLoadLibraryW));
        ASSERT_EQ(1u, SeamMessageBoxes().size());
        const SeamMessageBox& box = SeamMessageBoxes()[0];
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(L"Player\\OrvalisHost.dll cannot be opened.", box.text);
        EXPECT_EQ(L"Tidewell", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.type);
    }
}

TEST(RunTidewell, HostWithoutWideEntryIsUnloadedWithMinusTwo)
{
    HostBeside beside(L"host-3.9");
    SeamFailProcAddress("OrvalisHostW");
    EXPECT_EQ(-2, RunTidewell(GetModuleHandleW(NULL)));
    EXPECT_EQ(1, SeamCallsMade(SeamCallLoadLibraryW));
    EXPECT_TRUE(SeamMessageBoxes().empty());
    EXPECT_FALSE(FileExists(beside.record));
}
