// The real x64 Tidewell.exe, copied into scratch folders beside fixture hosts
// and started as a user or the shell would start it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace
{

const wchar_t kHostRelative[] = L"Player\\OrvalisHost.dll";

// A copy of the launcher under `name` in `dir`, with the fixture host
// `variant` (none when empty) in its Player folder.
std::wstring PlaceLauncher(const std::wstring& dir, const std::wstring& name,
                           const std::wstring& variant)
{
    std::wstring exe = dir + L"\\" + name;
    EXPECT_TRUE(CopyInto(DistDir() + L"\\Tidewell.exe", exe));
    if (!variant.empty())
    {
        EXPECT_TRUE(CopyInto(FixtureHost(variant), dir + L"\\" + kHostRelative));
    }
    return exe;
}

std::wstring RecordOf(const std::wstring& dir) { return dir + L"\\Player\\received.txt"; }

void ExpectHostReceived(const std::wstring& dir, const std::wstring& commandLine)
{
    std::map<std::string, std::string> r = ReadRecord(RecordOf(dir));
    ExpectWideCall(r, "Tidewell", commandLine, dir + L"\\" + kHostRelative);
    ExpectWindowsControlWord(r);
    EXPECT_EQ(r["module"], r["hostPath"]);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Starts a Unix program (Wine runs them, but gives no handle to wait on),
// then waits until `path` exists or, with `exists` false, is gone.
bool RunUnixUntil(const std::wstring& program, const std::wstring& commandLine,
                  const std::wstring& path, bool exists)
{
    ChildOptions noWait;
    noWait.timeoutMs = 0;
    if (RunChild(program, commandLine, noWait) != 0)
        return false;
    for (int i = 0; i < 200 && FileExists(path) != exists; ++i)
        Sleep(50);
    return FileExists(path) == exists;
}

std::string UnixPathOf(const std::wstring& path)
{
    typedef char*(CDECL * UnixFileName)(const WCHAR*);
    UnixFileName toUnix = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == NULL)
        return std::string();
    char* unix = toUnix(path.c_str());
    std::string result = unix != NULL ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

}  // namespace

TEST(Tidewell, HandsItsCommandLineToTheHostInItsOwnFolder)
{
    struct Case
    {
        const wchar_t* exeName;
        const wchar_t* arguments;
    };
    const Case cases[] = {
        {L"Tidewell.exe", L" -autostart \"disk 1.d64\""},
        {L"Tidewell.exe", L""},
        {L"Renamed Game \u00e9\u2713.exe", L" \"\u00c4rger \u4e2d.prg\"  -warp"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.exeName));
        std::wstring dir = MakeScratchDir(L"tidewell-e2e");
        std::wstring exe = PlaceLauncher(dir, c.exeName, L"host-3.9");
        std::wstring commandLine = Quoted(exe) + c.arguments;
        EXPECT_EQ(0u, RunProgram(exe, commandLine));
        ExpectHostReceived(dir, commandLine);
        RemoveTree(dir);
    }
}

TEST(Tidewell, PassesTheHostResultThroughUnchanged)
{
    struct Case
    {
        const wchar_t* result;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"0", 0},
        {L"7", 7},
        {L"-1", 0xFFFFFFFF},
        {L"-2", 0xFFFFFFFE},
        {L"-2147483648", 0x80000000},
        {L"2147483647", 0x7FFFFFFF},
    };
    std::wstring dir = MakeScratchDir(L"tidewell-result");
    std::wstring exe = PlaceLauncher(dir, L"Tidewell.exe", L"host-3.9");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.result));
        DeleteFileW(RecordOf(dir).c_str());
        // A message box would hold the program until the timeout.
        EXPECT_EQ(c.exitCode, RunProgram(exe, Quoted(exe),
                                         {std::wstring(L"ORVALIS_FIXTURE_RESULT=") + c.result}));
        EXPECT_TRUE(FileExists(RecordOf(dir)));
    }
    RemoveTree(dir);
}

TEST(Tidewell, HostThatCannotBeOpenedGivesTheMessageAndMinusOne)
{
    struct Case
    {
        const char* what;
        const char* hostBytes;  // null: no file
    };
    const Case cases[] = {
        {"missing", nullptr},
        {"not a library", "MZ but nothing else"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::wstring dir = MakeScratchDir(L"tidewell-nohost");
        std::wstring exe = PlaceLauncher(dir, L"Tidewell.exe", L"");
        if (c.hostBytes != nullptr)
        {
            ASSERT_TRUE(WriteBytes(dir + L"\\" + kHostRelative, c.hostBytes));
        }
        MessageBoxSeen seen;
        bool found = false;
        EXPECT_EQ(0xFFFFFFFFu, RunAndReadMessageBox(exe, Quoted(exe), L"Tidewell", &seen, &found));
        ASSERT_TRUE(found);
        ExpectErrorBox(seen, L"Tidewell", L"Player\\OrvalisHost.dll cannot be opened.");
        RemoveTree(dir);
    }
}

TEST(Tidewell, HostWithoutWideEntryGivesMinusTwoAndNoMessage)
{
    for (const wchar_t* variant : {L"host-noentry", L"host-narrow"})
    {
        SCOPED_TRACE(Utf8(variant));
        std::wstring dir = MakeScratchDir(L"tidewell-noentry");
        std::wstring exe = PlaceLauncher(dir, L"Tidewell.exe", variant);
        MessageBoxSeen seen;
        bool found = false;
        EXPECT_EQ(0xFFFFFFFEu, RunAndReadMessageBox(exe, Quoted(exe), L"Tidewell", &seen, &found));
        EXPECT_FALSE(found);
        EXPECT_FALSE(FileExists(RecordOf(dir)));
        RemoveTree(dir);
    }
}

TEST(Tidewell, LauncherAtADriveRootLoadsTheHostBelowTheRoot)
{
    const char* prefix = getenv("WINEPREFIX");
    ASSERT_TRUE(prefix != nullptr && *prefix != 0);
    std::wstring dir = MakeScratchDir(L"tidewell-root");
    PlaceLauncher(dir, L"Tidewell.exe", L"host-3.9");
    std::string target = UnixPathOf(dir);
    ASSERT_FALSE(target.empty());
    std::wstring link = Wide(std::string(prefix) + "/dosdevices/t:");
    ASSERT_TRUE(RunUnixUntil(L"Z:\\bin\\ln", L"ln -sfn \"" + Wide(target) + L"\" \"" + link + L"\"",
                             L"T:\\Tidewell.exe", true));

    std::wstring commandLine = L"T:\\Tidewell.exe -fullscreen";
    EXPECT_EQ(0u, RunProgram(L"T:\\Tidewell.exe", commandLine));
    std::map<std::string, std::string> r = ReadRecord(RecordOf(dir));
    EXPECT_EQ("T:\\Player\\OrvalisHost.dll", r["hostPath"]);
    EXPECT_EQ("T:\\Player\\OrvalisHost.dll", r["module"]);
    EXPECT_EQ("Tidewell", r["product"]);
    EXPECT_EQ(Utf8(commandLine), r["commandLine"]);

    EXPECT_TRUE(
        RunUnixUntil(L"Z:\\bin\\rm", L"rm -f \"" + link + L"\"", L"T:\\Tidewell.exe", false));
    RemoveTree(dir);
}

TEST(Tidewell, FolderTooLongForTheHostPathGivesTheMessageWithoutLoading)
{
    // Scratch folder, then one deeper folder that brings the launcher's folder
    // (with its last backslash) to exactly 237 or 238 units.
    std::wstring base = MakeScratchDir(L"tidewell-long");
    for (size_t folderUnits : {237u, 238u})
    {
        SCOPED_TRACE(folderUnits);
        std::wstring dir = base + L"\\" + std::wstring(folderUnits - base.size() - 2, L'd');
        ASSERT_EQ(folderUnits, dir.size() + 1);
        std::wstring exe = PlaceLauncher(dir, L"T.exe", L"host-3.9");
        MessageBoxSeen seen;
        bool found = false;
        DWORD exitCode = RunAndReadMessageBox(exe, Quoted(exe), L"Tidewell", &seen, &found);
        if (folderUnits == 237)
        {
            EXPECT_EQ(0u, exitCode);
            EXPECT_FALSE(found);
            ExpectHostReceived(dir, Quoted(exe));
        }
        else
        {
            EXPECT_EQ(0xFFFFFFFFu, exitCode);
            EXPECT_TRUE(found);
            EXPECT_EQ(L"Player\\OrvalisHost.dll cannot be opened.", seen.text);
            EXPECT_FALSE(FileExists(RecordOf(dir)));
        }
    }
    RemoveTree(base);
}
