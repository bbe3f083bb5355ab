// The real OrvalisCheck.exe run as a user would, its output redirected to a
// file, against installations and settings in the test prefix's registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Installations.h"
#include "TestSupport.h"

namespace
{

std::wstring Check() { return DistDir() + L"\\OrvalisCheck.exe"; }

#ifdef _WIN64
const REGSAM kOtherView = KEY_WOW64_32KEY;
#else
const REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

struct CheckRun
{
    DWORD exitCode;
    std::string bytes;                // stdout as written
    std::vector<std::wstring> lines;  // decoded as UTF-8, split at CR LF
    std::string errors;               // stderr

    // The first line that starts with `prefix`, or "" when none does.
    std::wstring Line(const std::wstring& prefix) const
    {
        for (const std::wstring& line : lines)
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line;
        return L"";
    }
    bool Has(const std::wstring& line) const
    {
        for (const std::wstring& l : lines)
            if (l == line)
                return true;
        return false;
    }
};

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Runs the program with stdout and stderr redirected to files, extra
// environment variables set for it alone.
CheckRun RunCheck(const std::wstring& arguments, const std::vector<std::wstring>& environment = {},
                  const std::wstring& directory = L"")
{
    ChildOptions options;
    options.environment = environment;
    options.directory = directory;
    options.timeoutMs = 60000;
    ChildRun child = RunChildCapturing(
        Check(), L"\"" + Check() + L"\"" + (arguments.empty() ? L"" : L" " + arguments), options);
    CheckRun run = {child.exitCode, child.output, {}, child.errors};
    run.lines = SplitLines(Wide(run.bytes));
    return run;
}

// One row of the players table: the marker, the registered text and the
// verdict, found by the value's name through the header's column starts.
struct Row
{
    bool chosen;
    std::wstring registered;
    std::wstring verdict;
};

std::wstring Trim(const std::wstring& text)
{
    size_t end = text.find_last_not_of(L' ');
    return end == std::wstring::npos ? L"" : text.substr(0, end + 1);
}

// The rows of the first table after the line `after` (none: the first table).
std::map<std::wstring, Row> PlayerRows(const CheckRun& run, const std::wstring& after = L"")
{
    std::map<std::wstring, Row> rows;
    size_t header = 0;
    if (!after.empty())
        while (header < run.lines.size() && run.lines[header] != after)
            ++header;
    while (header < run.lines.size() && run.lines[header].compare(0, 6, L"  NAME") != 0)
        ++header;
    if (header == run.lines.size())
        return rows;
    const std::wstring& h = run.lines[header];
    size_t registered = h.find(L"REGISTERED"), verdict = h.find(L"VERDICT");
    for (size_t i = header + 1; i < run.lines.size(); ++i)
    {
        const std::wstring& line = run.lines[i];
        if (line.size() <= verdict || (line[0] != L'*' && line[0] != L' ') || line[1] != L' ')
            break;
        Row row = {line[0] == L'*', Trim(line.substr(registered, verdict - registered)),
                   line.substr(verdict)};
        rows[Trim(line.substr(2, registered - 2))] = row;
    }
    return rows;
}

std::string Dump(const CheckRun& run) { return run.bytes + run.errors; }

}  // namespace

// Every verdict in one prefix, and the chosen host is the one that
// OrvalisOpen really hands the command line to.
TEST(OrvalisCheckTest, EveryVerdictAndTheChoiceOfOrvalisOpen)
{
    Installations players;
    const std::wstring s = players.Scratch();
    players.Add(L"noversion", L"host-noversion");             // v000
    players.Add(L"nohost", L"");                              // v001
    players.Add(L"zero", L"host-0.0");                        // v002
    players.Add(L"old", L"host-3.9");                         // v003
    std::wstring newest = players.Add(L"new", L"host-3.10");  // v004
    players.Add(L"same", L"host-3.10");                       // v005
    players.Register(s + L"\\gone\\app.exe");                 // v006
    players.Register(s + L"\\new");                           // v007
    players.Register(L"app.exe");  // v008, found only in the working folder
    ASSERT_TRUE(players.RegisterRaw(REG_BINARY, "A\0B\0", 4));  // v009

    struct Expected
    {
        const WCHAR* name;
        bool chosen;
        const WCHAR* verdict;
    };
    const Expected table[] = {
        {L"v000", false, L"the host has no readable version"},
        {L"v001", false, L"the host file is missing"},
        {L"v002", false, L"the version is 0.0.0.0"},
        {L"v003", false, L"3.9.0.0: not higher than the chosen one's"},
        {L"v004", true, L"3.10.0.0"},
        {L"v005", false,
         L"3.10.0.0: not higher than the chosen one's (equal: the first enumerated wins)"},
        {L"v006", false, L"no such file"},
        {L"v007", false, L"a folder"},
        {L"v008", false, L"not a fully qualified path"},
        {L"v009", false, L"data is not a terminated string"},
    };
    const std::wstring folder = s + L"\\new";
    CheckRun run = RunCheck(L"", {}, folder);
    EXPECT_EQ(0u, run.exitCode) << Dump(run);
    std::map<std::wstring, Row> rows = PlayerRows(run);
    EXPECT_EQ(sizeof table / sizeof table[0], rows.size()) << Dump(run);
    for (const Expected& e : table)
    {
        SCOPED_TRACE(Utf8(e.name));
        ASSERT_EQ(1u, rows.count(e.name)) << Dump(run);
        EXPECT_EQ(e.chosen, rows[e.name].chosen);
        EXPECT_EQ(e.verdict, rows[e.name].verdict);
    }
    EXPECT_EQ(s + L"\\old\\app.exe", rows[L"v003"].registered);
    EXPECT_EQ(L"(REG_BINARY, 4 bytes)", rows[L"v009"].registered);
    EXPECT_EQ(L"OrvalisOpen: loads " + newest + L" (3.10.0.0)", run.Line(L"OrvalisOpen: loads"));

    // The launcher itself, from the same working folder, chooses the same host.
    std::wstring log = s + L"\\received.txt";
    EXPECT_EQ(0u, RunProgram(DistDir() + L"\\OrvalisOpen.exe", L"OrvalisOpen.exe",
                             {L"ORVALIS_FIXTURE_LOG=" + log}, 30000, folder));
    EXPECT_EQ(Utf8(newest), ReadRecord(log)["hostPath"]);
}

// Values only the other registry view holds are listed apart, as invisible
// to this architecture's launchers, judged by the launcher's own rules: a
// registration of any type that holds a terminated path is a path, data
// without a terminator is not, and a name in both views is listed unless
// its data is the same.
TEST(OrvalisCheckTest, ValuesOnlyInTheOtherViewAreListedApart)
{
    Installations players;
    std::wstring mine = players.Add(L"mine", L"host-3.9");
    players.Register(L"C:\\both\\app.exe");  // v001
    players.Register(L"C:\\same\\app.exe");  // v002
    HKEY other;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, NULL, 0,
                                             KEY_WRITE | kOtherView, NULL, &other, NULL));
    const std::wstring elsewhere = L"C:\\Program Files\\Orvalis 4\\Orvalis.exe";
    RegSetValueExW(other, L"Orvalis 4", 0, REG_SZ, reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                   static_cast<DWORD>((elsewhere.size() + 1) * sizeof(WCHAR)));
    RegSetValueExW(other, L"binary", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                   static_cast<DWORD>((elsewhere.size() + 1) * sizeof(WCHAR)));
    // Three bytes, padded so the registry can't count a terminator of its own.
    const char shortData[] = {'C', 0, ':', 0, 0, 0};
    RegSetValueExW(other, L"short", 0, REG_SZ, reinterpret_cast<const BYTE*>(shortData), 3);
    RegSetValueExW(other, L"v001", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    const std::wstring same = L"C:\\same\\app.exe";
    RegSetValueExW(other, L"v002", 0, REG_SZ, reinterpret_cast<const BYTE*>(same.c_str()),
                   static_cast<DWORD>((same.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(other);

    CheckRun run = RunCheck(L"");
    HKEY parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quillon\\Orvalis", 0,
                      KEY_ALL_ACCESS | kOtherView, &parent) == ERROR_SUCCESS)
    {
        RegDeleteTreeW(parent, L"Players");
        RegCloseKey(parent);
    }

    EXPECT_EQ(0u, run.exitCode) << Dump(run);
    std::map<std::wstring, Row> rows = PlayerRows(run);
    EXPECT_EQ(3u, rows.size()) << Dump(run);
    EXPECT_EQ(0u, rows.count(L"Orvalis 4"));
#ifdef _WIN64
    const std::wstring heading = L"Only in the HKLM\\SOFTWARE\\Quillon\\Orvalis\\Players, 32-bit "
                                 L"view, invisible to 64-bit launchers:";
#else
    const std::wstring heading = L"Only in the HKLM\\SOFTWARE\\Quillon\\Orvalis\\Players, 64-bit "
                                 L"view, invisible to 32-bit launchers:";
#endif
    std::map<std::wstring, Row> others = PlayerRows(run, heading);
    EXPECT_EQ(4u, others.size()) << Dump(run);
    EXPECT_EQ(elsewhere, others[L"Orvalis 4"].registered) << Dump(run);
    EXPECT_EQ(L"no such file", others[L"Orvalis 4"].verdict);
    EXPECT_EQ(elsewhere, others[L"binary"].registered) << "a terminated path, whatever its type";
    EXPECT_EQ(L"(REG_SZ, 3 bytes)", others[L"short"].registered);
    EXPECT_EQ(L"data is not a terminated string", others[L"short"].verdict);
    EXPECT_EQ(L"x", others[L"v001"].registered) << "the same name with other data is listed";
    EXPECT_EQ(0u, others.count(L"v002")) << "the same name with the same data is not";
    EXPECT_EQ(L"OrvalisOpen: loads " + mine + L" (3.9.0.0)", run.Line(L"OrvalisOpen: loads"));
}

TEST(OrvalisCheckTest, ExitCodesAndWhatOrvalisOpenWouldDo)
{
    struct Case
    {
        const WCHAR* variant;  // null: no installation at all
        const WCHAR* arguments;
        DWORD exitCode;
        const WCHAR* line;  // the last OrvalisOpen line
    };
    const Case cases[] = {
        {NULL, L"", 1,
         L"OrvalisOpen: shows \"Player\\OrvalisHost.dll cannot be found.\" and exits with -1"},
        {NULL, L"--load", 1,
         L"OrvalisOpen: shows \"Player\\OrvalisHost.dll cannot be found.\" and exits with -1"},
        {L"host-3.10", L"", 0,
         L"OrvalisOpen: entry point not checked: --load finds it by loading the host, which runs "
         L"the host's start-up code"},
        {L"host-3.10", L"--load", 0,
         L"OrvalisOpen: calls OrvalisHostW; the host's result is the exit code"},
        {L"host-narrow", L"--load", 0,
         L"OrvalisOpen: calls OrvalisHost with ANSI text; the host's result is the exit code"},
        {L"host-noentry", L"--load", 1,
         L"OrvalisOpen: finds neither OrvalisHostW nor OrvalisHost and exits with -2"},
        {L"host-unloadable", L"--load", 1,
         L"OrvalisOpen: shows \"Player\\OrvalisHost.dll cannot be opened.\" and exits with -1"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(std::wstring(c.variant ? c.variant : L"(none)") + L" " + c.arguments));
        Installations players;
        if (c.variant != NULL)
            players.Add(L"inst", c.variant);
        std::wstring log = players.Scratch() + L"\\received.txt";
        CheckRun run = RunCheck(c.arguments, {L"ORVALIS_FIXTURE_LOG=" + log});
        EXPECT_EQ(c.exitCode, run.exitCode) << Dump(run);
        std::wstring last;
        for (const std::wstring& line : run.lines)
            if (line.compare(0, 12, L"OrvalisOpen:") == 0)
                last = line;
        EXPECT_EQ(c.line, last) << Dump(run);
        EXPECT_FALSE(FileExists(log)) << "the host's entry point is never called";
        bool loading =
            run.Has(L"OrvalisCheck: loading the host (--load) in a process of its own, as "
                    L"OrvalisOpen loads it; this runs the host's start-up code");
        EXPECT_EQ(c.variant != NULL && std::wstring(c.arguments) == L"--load", loading);
    }

    CheckRun help = RunCheck(L"--help");
    EXPECT_EQ(0u, help.exitCode);
    ASSERT_FALSE(help.lines.empty());
    EXPECT_EQ(L"Usage: OrvalisCheck [--load] [PATH\\Tidewell.exe]", help.lines[0]);
    for (const WCHAR* bad : {L"--lod", L"a.exe b.exe", L"-x"})
    {
        CheckRun run = RunCheck(bad);
        EXPECT_EQ(2u, run.exitCode) << Utf8(bad);
        EXPECT_TRUE(run.bytes.empty()) << Utf8(bad);
        EXPECT_EQ(0u, run.errors.find("OrvalisCheck: unexpected argument")) << run.errors;
    }
}

// The host path comes from Tidewell's own code; the real Tidewell.exe at
// that path loads the same file.
TEST(OrvalisCheckTest, TidewellHostPathAndWhetherItExists)
{
    std::wstring dir = MakeScratchDir(L"check tidewell");
    std::wstring program = dir + L"\\Tidewell.exe";
    ASSERT_TRUE(CopyInto(DistDir() + L"\\Tidewell.exe", program));
    const std::wstring host = dir + L"\\Player\\OrvalisHost.dll";

    CheckRun missing = RunCheck(L"\"" + program + L"\"");
    EXPECT_EQ(L"Tidewell: " + program + L" loads " + host +
                  L", which does not exist: Tidewell shows \"Player\\OrvalisHost.dll cannot be "
                  L"opened.\" and exits with -1",
              missing.Line(L"Tidewell:"))
        << Dump(missing);

    ASSERT_TRUE(CopyInto(FixtureHost(L"host-3.9"), host));
    CheckRun present = RunCheck(L"\"" + program + L"\"");
    EXPECT_EQ(L"Tidewell: " + program + L" loads " + host + L", which exists",
              present.Line(L"Tidewell:"));
    std::wstring log = dir + L"\\received.txt";
    EXPECT_EQ(0u, RunProgram(program, L"Tidewell.exe", {L"ORVALIS_FIXTURE_LOG=" + log}));
    EXPECT_EQ(Utf8(host), ReadRecord(log)["hostPath"]);

    // A host that needs a library: searched from Tidewell's folder, not the check's.
    ASSERT_TRUE(CopyInto(FixtureHost(L"host-needs-helper"), host));
    CheckRun lacking = RunCheck(L"\"" + program + L"\"");
    EXPECT_TRUE(lacking.Has(L"Tidewell: the host imports OrvalisHelper.dll, which the launcher's "
                            L"search order does not find (its folder, the system folder, the "
                            L"Windows folder, PATH)"))
        << Dump(lacking);
    ASSERT_TRUE(CopyInto(BinDir() + L"\\fixtures\\helper\\OrvalisHelper.dll",
                         dir + L"\\OrvalisHelper.dll"));
    CheckRun found = RunCheck(L"\"" + program + L"\"");
    EXPECT_EQ(L"", found.Line(L"Tidewell: the host imports")) << Dump(found);
    RemoveTree(dir);
}

// The data folder from each source, what was passed over and why; nothing
// is created by looking.
TEST(OrvalisCheckTest, DataFolderFromEachSource)
{
    const WCHAR kMachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    const std::wstring user = L"the user's TIDEWELLDATA (HKCU\\Environment): ";
    const std::wstring machine =
        L"the machine's TIDEWELLDATA (HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session "
        L"Manager\\Environment): ";
    const std::wstring process = L"TIDEWELLDATA of the process environment (this command's, which "
                                 L"may differ from the installer's): ";
    struct Case
    {
        const WCHAR* userValue;  // null: none; "#" a REG_DWORD
        const WCHAR* machineValue;
        const WCHAR* processValue;
        const WCHAR* folder;  // null: the shared "CBM Files"
        std::wstring userLine, machineLine, processLine;
    };
    const Case cases[] = {
        {L"C:\\Data User", L"C:\\Data Machine", L"C:\\Data Process", L"C:\\Data User",
         user + L"\"C:\\Data User\" used",
         machine + L"present but not used: the user's value comes first",
         process + L"present but not used: a registry value comes first"},
        {L"#", L"C:\\Data Machine", NULL, L"C:\\Data Machine",
         user + L"present but not used: REG_DWORD is not a string",
         machine + L"\"C:\\Data Machine\" used", process + L"not set"},
        {NULL, NULL, L"C:\\Data Process", L"C:\\Data Process", user + L"not set",
         machine + L"not set", process + L"\"C:\\Data Process\" used"},
        {L"%ORVALIS_UNSET%\\Data", NULL, L"C:\\Data Process", NULL,
         user + L"\"%ORVALIS_UNSET%\\Data\" not used: it still holds a '%' after expansion",
         machine + L"not set", process + L"present but not used: a registry value comes first"},
        {NULL, L"C:", NULL, NULL, user + L"not set",
         machine + L"\"C:\" not used: not a fully qualified path", process + L"not set"},
        {NULL, NULL, NULL, NULL, user + L"not set", machine + L"not set", process + L"not set"},
    };
    WCHAR documents[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(NULL, documents, CSIDL_COMMON_DOCUMENTS, FALSE));
    const std::wstring shared = std::wstring(documents) + L"\\CBM Files";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.userLine));
        RemoveTree(shared);
        if (c.userValue != NULL && std::wstring(c.userValue) == L"#")
        {
            DWORD number = 7;
            SetRawValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", REG_DWORD, &number, 4);
        }
        else if (c.userValue != NULL)
            SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", c.userValue);
        if (c.machineValue != NULL)
            SetStringValue(HKEY_LOCAL_MACHINE, kMachineKey, L"TIDEWELLDATA", c.machineValue);
        std::vector<std::wstring> env;
        if (c.processValue != NULL)
            env.push_back(std::wstring(L"TIDEWELLDATA=") + c.processValue);
        CheckRun run = RunCheck(L"", env);
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        {
            HKEY key;
            if (RegOpenKeyExW(root, root == HKEY_CURRENT_USER ? L"Environment" : kMachineKey, 0,
                              KEY_SET_VALUE, &key) == ERROR_SUCCESS)
            {
                RegDeleteValueW(key, L"TIDEWELLDATA");
                RegCloseKey(key);
            }
        }
        EXPECT_EQ(L"Data folder: " + std::wstring(c.folder ? c.folder : shared.c_str()),
                  run.Line(L"Data folder: "))
            << Dump(run);
        EXPECT_TRUE(run.Has(L"  " + c.userLine)) << Dump(run);
        EXPECT_TRUE(run.Has(L"  " + c.machineLine)) << Dump(run);
        EXPECT_TRUE(run.Has(L"  " + c.processLine)) << Dump(run);
        if (c.folder == NULL)
        {
            EXPECT_EQ(L"Data folder source: \"CBM Files\" in the shared documents folder, which "
                      L"does not exist yet: Install would create it",
                      run.Line(L"Data folder source: "));
            EXPECT_FALSE(FileExists(shared)) << "looking creates nothing";
        }
    }
}

// The Desktop.ini that Install wrote, the library it names, and the count.
TEST(OrvalisCheckTest, DesktopIniAndInstallationCount)
{
    std::wstring folder = MakeScratchDir(L"check data");
    std::wstring library = folder + L"\\harnfold.dll";
    ASSERT_TRUE(WriteBytes(library, "MZ"));
    std::string path = Utf8(library);  // ASCII here, so the same in the ANSI code page
    const std::string indirect = "[.ShellClassInfo]\r\nIconFile=" + path +
                                 "\r\nIconIndex=-10\r\nLocalizedResourceName=@" + path +
                                 ",-100\r\nInfoTip=@" + path + ",-102\r\n";
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", folder);
    const WCHAR kProductKey[] = L"Software\\Quillon\\Harnfold";
    const std::wstring countLine =
        L"Installation count (HKLM\\Software\\Quillon\\Harnfold, Count): ";

    CheckRun before = RunCheck(L"");
    EXPECT_EQ(L"Desktop.ini: absent", before.Line(L"Desktop.ini:")) << Dump(before);
    EXPECT_EQ(countLine + L"none; Install would write 1, Uninstall would remove everything",
              before.Line(L"Installation count"));

    ASSERT_TRUE(WriteBytes(folder + L"\\Desktop.ini", indirect));
    DWORD two = 2;
    SetRawValue(HKEY_LOCAL_MACHINE, kProductKey, L"Count", REG_DWORD, &two, 4);
    CheckRun indirectRun = RunCheck(L"");
    EXPECT_EQ(L"Desktop.ini: indirect form (the shell loads the names from the library)",
              indirectRun.Line(L"Desktop.ini:"))
        << Dump(indirectRun);
    EXPECT_EQ(L"Desktop.ini names: " + library + L", which exists",
              indirectRun.Line(L"Desktop.ini names:"));
    EXPECT_EQ(countLine + L"2 (REG_DWORD)", indirectRun.Line(L"Installation count"));

    DeleteFileW(library.c_str());
    ASSERT_TRUE(
        WriteBytes(folder + L"\\Desktop.ini",
                   "[.ShellClassInfo]\r\nIconFile=" + path +
                       "\r\nIconIndex=-10\r\nLocalizedResourceName=CBM Files\r\nInfoTip=x\r\n"));
    SetStringValue(HKEY_LOCAL_MACHINE, kProductKey, L"Count", L"too long for four bytes");
    CheckRun literal = RunCheck(L"");
    EXPECT_EQ(L"Desktop.ini: literal form (the names themselves)", literal.Line(L"Desktop.ini:"));
    EXPECT_EQ(L"Desktop.ini names: " + library +
                  L", which does not exist: the folder shows no icon or name of its own",
              literal.Line(L"Desktop.ini names:"));
    EXPECT_EQ(countLine + L"unreadable (REG_SZ, 48 bytes); Install would write 1, Uninstall "
                          L"would remove everything",
              literal.Line(L"Installation count"));

    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
        RegDeleteValueW(key, L"TIDEWELLDATA");
        RegCloseKey(key);
    }
    RemoveTree(folder);
}

// Redirected output is UTF-8, whatever the ANSI code page can show.
TEST(OrvalisCheckTest, NonAsciiNamesAreUtf8WhenRedirected)
{
    Installations players;
    const std::wstring name = L"Orvalis \x00e9\x0436\x4e2d\xD83C\xDFAE";
    std::wstring host = players.Add(L"caf\x00e9 \x0436", L"host-3.9");
    std::wstring registered = host.substr(0, host.size() - 22) + L"app.exe";
    // Enumerated first, so it is the one chosen, whatever the registry's order.
    DeleteTree(HKEY_LOCAL_MACHINE, kPlayersKey);
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, name, registered);
    CheckRun run = RunCheck(L"");
    EXPECT_NE(std::string::npos, run.bytes.find("* " + Utf8(name) + "  " + Utf8(registered)))
        << run.bytes;
    EXPECT_NE(std::string::npos,
              run.bytes.find("OrvalisOpen: loads " + Utf8(host) + " (3.9.0.0)\r\n"));
}

// On a console the text goes through WriteConsoleW: the screen buffer holds
// the very characters, none replaced by the ANSI code page's '?'.
TEST(OrvalisCheckTest, NonAsciiNamesReachTheConsoleWhole)
{
    Installations players;
    const std::wstring name = L"Orvalis \x00e9\x0436\x4e2d";
    DeleteTree(HKEY_LOCAL_MACHINE, kPlayersKey);
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, name, L"C:\\nowhere\\app.exe");

    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CONSOLE_TEXTMODE_BUFFER, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, screen) << GetLastError();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info))
    {
        // Measured: Wine's console has no screen buffer to read without a
        // display; scripts/test.sh always provides one.
        CloseHandle(screen);
        FreeConsole();
        GTEST_SKIP() << "no console screen buffer without a display";
    }
    ChildOptions onScreen;
    onScreen.output = onScreen.errors = screen;
    onScreen.timeoutMs = 60000;
    DWORD code = RunChild(Check(), L"OrvalisCheck.exe", onScreen);
    EXPECT_EQ(1u, code);

    std::wstring text;
    for (SHORT row = 0; row < info.dwSize.Y; ++row)
    {
        std::wstring cells(info.dwSize.X, L' ');
        DWORD read = 0;
        COORD at = {0, row};
        ReadConsoleOutputCharacterW(screen, &cells[0], info.dwSize.X, at, &read);
        text += Trim(cells.substr(0, read)) + L"\n";
    }
    CloseHandle(screen);
    FreeConsole();
    EXPECT_NE(std::wstring::npos, text.find(L"  " + name + L"  C:\\nowhere\\app.exe  no such file"))
        << Utf8(text);
}

namespace
{

const WCHAR kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const WCHAR kProductKey[] = L"Software\\Quillon\\Harnfold";

// Runs one of harnfold.dll's actions in this process, as Windows Installer
// would call it, from the library at `library`.
UINT RunAction(const std::wstring& library, const char* action)
{
    HMODULE module = LoadLibraryW(library.c_str());
    if (module == NULL)
        return 0xDEADBEEF;
    typedef UINT(WINAPI * Action)(ULONG);
    Action entry =
        reinterpret_cast<Action>(reinterpret_cast<void*>(GetProcAddress(module, action)));
    UINT result = entry != NULL ? entry(0) : 0xDEADBEEF;
    FreeLibrary(module);
    return result;
}

// The shared documents folder moved to `path` for as long as it lives.
class MovedCommonDocuments
{
public:
    explicit MovedCommonDocuments(const std::wstring& path)
    {
        HKEY key;
        saved_ =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (saved_)
        {
            WCHAR value[MAX_PATH] = L"";
            DWORD bytes = sizeof value - sizeof(WCHAR);
            saved_ = RegQueryValueExW(key, L"Common Documents", NULL, &type_,
                                      reinterpret_cast<BYTE*>(value), &bytes) == ERROR_SUCCESS;
            old_ = value;
            RegCloseKey(key);
        }
        SetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, L"Common Documents", path);
    }
    ~MovedCommonDocuments()
    {
        if (saved_)
            SetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, L"Common Documents", old_, type_);
    }

private:
    bool saved_;
    DWORD type_ = REG_EXPAND_SZ;
    std::wstring old_;
};

void ClearDataFolderVariable()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
    {
        RegDeleteValueW(key, L"TIDEWELLDATA");
        RegCloseKey(key);
    }
}

// Every line starts with one of the report's labels, or is a table row.
void ExpectOnlyOwnLines(const CheckRun& run)
{
    const WCHAR* const labels[] = {L"OrvalisCheck ",
                                   L"Players: ",
                                   L"Only in the ",
                                   L"OrvalisOpen: ",
                                   L"OrvalisCheck: ",
                                   L"Tidewell: ",
                                   L"Data folder: ",
                                   L"Data folder source: ",
                                   L"Data folder sources, ",
                                   L"  the user's ",
                                   L"  the machine's ",
                                   L"  TIDEWELLDATA of ",
                                   L"Desktop.ini: ",
                                   L"Desktop.ini names: ",
                                   L"Installation count ",
                                   L"  NAME ",
                                   L"  (* = ",
                                   L"  no values"};
    size_t table = 0;  // rows follow a header until an empty line
    for (const std::wstring& line : run.lines)
    {
        bool own = line.empty();
        for (const WCHAR* label : labels)
            own = own || line.compare(0, wcslen(label), label) == 0;
        if (line.compare(0, 7, L"  NAME ") == 0)
            table = 1;
        else if (line.empty() || line.compare(0, 7, L"  (* = ") == 0)
            table = 0;
        else if (table != 0 && (line.compare(0, 2, L"* ") == 0 || line.compare(0, 2, L"  ") == 0))
            own = true;
        EXPECT_TRUE(own) << "a line of no label: " << Utf8(line);
    }
}

}  // namespace

// With the shared documents folder missing, Install creates it and succeeds;
// the report says so and creates nothing itself.
TEST(OrvalisCheckTest, MissingSharedDocumentsAreCreatedNotAFailure)
{
    std::wstring scratch = MakeScratchDir(L"check documents");
    const std::wstring documents = scratch + L"\\Documents";
    ClearDataFolderVariable();
    CheckRun run;
    {
        MovedCommonDocuments moved(documents);
        run = RunCheck(L"");
        EXPECT_FALSE(FileExists(documents)) << "looking creates nothing";
        EXPECT_EQ(L"Data folder: " + documents + L"\\CBM Files", run.Line(L"Data folder: "))
            << Dump(run);
        EXPECT_EQ(L"Data folder source: \"CBM Files\" in the shared documents folder, which does "
                  L"not exist yet: Install would create it",
                  run.Line(L"Data folder source: "));
        EXPECT_EQ(std::string::npos, run.bytes.find("1603")) << Dump(run);
        EXPECT_EQ(0u, RunAction(DistDir() + L"\\harnfold.dll", "Install"));
        EXPECT_TRUE(FileExists(documents + L"\\CBM Files\\Desktop.ini"));
    }
    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey);
    RemoveTree(scratch);
}

// The host's start-up code ends the process, or never lets the load finish:
// the report is whole, names what happened, and the exit code is 1.
TEST(OrvalisCheckTest, LoadSurvivesAHostThatExitsOrHangs)
{
    struct Case
    {
        const WCHAR* startup;
        const WCHAR* line;
    };
    const Case cases[] = {
        {L"exit:3", L"OrvalisOpen: the host ended its process while loading, with exit code 3"},
        {L"exit:0", L"OrvalisOpen: the host ended its process while loading, with exit code 0"},
        {L"hang", L"OrvalisOpen: the host did not finish loading within 8 s"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.startup));
        Installations players;
        players.Add(L"inst", L"host-startup");
        CheckRun run = RunCheck(L"--load", {std::wstring(L"ORVALIS_FIXTURE_STARTUP=") + c.startup});
        EXPECT_EQ(1u, run.exitCode) << Dump(run);
        EXPECT_TRUE(run.Has(c.line)) << Dump(run);
        EXPECT_NE(L"", run.Line(L"Installation count")) << "the report goes on: " << Dump(run);
    }
}

// The host's imports bind as under OrvalisOpen itself: the comctl32.dll its
// start-up code finds is the one it finds under the real launcher, the
// Common-Controls 6 assembly that the launcher's manifest names.
TEST(OrvalisCheckTest, LoadBindsImportsAsOrvalisOpenDoes)
{
    Installations players;
    players.Add(L"inst", L"host-startup");
    const std::wstring underLauncher = players.Scratch() + L"\\launcher.txt";
    const std::wstring underCheck = players.Scratch() + L"\\check.txt";
    EXPECT_EQ(0u, RunProgram(DistDir() + L"\\OrvalisOpen.exe", L"OrvalisOpen.exe",
                             {L"ORVALIS_FIXTURE_STARTUP_LOG=" + underLauncher}));
    CheckRun run = RunCheck(L"--load", {L"ORVALIS_FIXTURE_STARTUP_LOG=" + underCheck});
    EXPECT_EQ(0u, run.exitCode) << Dump(run);
    std::string launcherBinding, checkBinding;
    ASSERT_TRUE(ReadBytes(underLauncher, &launcherBinding));
    ASSERT_TRUE(ReadBytes(underCheck, &checkBinding)) << Dump(run);
    EXPECT_FALSE(launcherBinding.empty());
    EXPECT_EQ(launcherBinding, checkBinding);
}

// A host whose import the launcher's search doesn't find is named with the
// library it lacks; one found only beside the host is named as such, also
// where Wine loads the host anyway.
TEST(OrvalisCheckTest, NamesTheLibraryAHostLacks)
{
    Installations players;
    std::wstring host = players.Add(L"inst", L"host-needs-helper");
    CheckRun missing = RunCheck(L"--load");
    EXPECT_EQ(1u, missing.exitCode) << Dump(missing);
    EXPECT_TRUE(
        missing.Has(L"OrvalisOpen: the host imports OrvalisHelper.dll, which the launcher's "
                    L"search order does not find (its folder, the system folder, the "
                    L"Windows folder, PATH)"))
        << Dump(missing);
    EXPECT_TRUE(missing.Has(
        L"OrvalisOpen: shows \"Player\\OrvalisHost.dll cannot be opened.\" and exits with -1"));

    std::wstring player = host.substr(0, host.size() - wcslen(L"\\OrvalisHost.dll"));
    ASSERT_TRUE(CopyInto(BinDir() + L"\\fixtures\\helper\\OrvalisHelper.dll",
                         player + L"\\OrvalisHelper.dll"));
    CheckRun beside = RunCheck(L"");
    EXPECT_TRUE(
        beside.Has(L"OrvalisOpen: the host imports OrvalisHelper.dll, found only beside the "
                   L"host: Windows does not look there for a library loaded by its full "
                   L"path, so it can't be opened"))
        << Dump(beside);
    for (const std::wstring& line : beside.lines)
        EXPECT_EQ(std::wstring::npos, line.find(L"KERNEL32")) << "system libraries are found";
}

// Text from the registry can't make lines of its own, reverse or colour the
// report, or pass for the default value.
TEST(OrvalisCheckTest, RegistryTextCannotBendTheReport)
{
    Installations players;
    std::wstring host = players.Add(L"real", L"host-3.9");
    const std::wstring forged =
        L"x\r\n* Fake  C:\\evil\\app.exe  99.0.0.0\r\nOrvalisOpen: loads C:\\evil\\x.dll";
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, forged, L"C:\\nowhere\\a.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey,
                   L"rtl\x202E"
                   L"exe.txt",
                   L"C:\\nowhere\\\x202E"
                   L"b.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"esc\x1B[31m", L"C:\\nowhere\\c.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"(default)", L"C:\\nowhere\\d.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"", L"C:\\nowhere\\e.exe");
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA",
                   L"C:\\data\r\nData folder: C:\\evil");
    CheckRun run = RunCheck(L"");
    ClearDataFolderVariable();

    ExpectOnlyOwnLines(run);
    EXPECT_EQ(std::string::npos, run.bytes.find('\x1B'));
    EXPECT_EQ(std::string::npos, run.bytes.find(Utf8(L"\x202E")));
    size_t chosen = 0, dataFolders = 0;
    for (const std::wstring& line : run.lines)
    {
        chosen += line.compare(0, 2, L"* ") == 0 ? 1 : 0;
        dataFolders += line.compare(0, 13, L"Data folder: ") == 0 ? 1 : 0;
    }
    EXPECT_EQ(1u, chosen) << Dump(run);
    EXPECT_EQ(1u, dataFolders) << Dump(run);
    EXPECT_EQ(L"OrvalisOpen: loads " + host + L" (3.9.0.0)", run.Line(L"OrvalisOpen: loads"));
    std::map<std::wstring, Row> rows = PlayerRows(run);
    EXPECT_EQ(1u, rows.count(L"x<U+000D><U+000A>* Fake  C:\\evil\\app.exe  99.0.0.0<U+000D><U+000A>"
                             L"OrvalisOpen: loads C:\\evil\\x.dll"))
        << Dump(run);
    EXPECT_EQ(L"C:\\nowhere\\<U+202E>b.exe", rows[L"rtl<U+202E>exe.txt"].registered);
    EXPECT_EQ(1u, rows.count(L"esc<U+001B>[31m"));
    EXPECT_EQ(L"C:\\nowhere\\d.exe", rows[L"(default)"].registered);
    EXPECT_EQ(L"C:\\nowhere\\e.exe", rows[L"<default>"].registered);
}

// Columns start where their header word does on the screen: a wide
// character takes two columns.
TEST(OrvalisCheckTest, ColumnsAlignByDisplayWidth)
{
    Installations players;
    DeleteTree(HKEY_LOCAL_MACHINE, kPlayersKey);
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"\x4e2d\x6587\x5b57", L"C:\\nowhere\\a.exe");
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"abcde", L"C:\\nowhere\\b.exe");
    CheckRun run = RunCheck(L"");
    EXPECT_TRUE(run.Has(L"  NAME    REGISTERED        VERDICT")) << Dump(run);
    EXPECT_TRUE(run.Has(L"  \x4e2d\x6587\x5b57  C:\\nowhere\\a.exe  no such file")) << Dump(run);
    EXPECT_TRUE(run.Has(L"  abcde   C:\\nowhere\\b.exe  no such file")) << Dump(run);
}

// Desktop.ini as Install meets it: in use by another process, a folder, or a
// data folder that is a file named "CBM Files"; each makes Install fail with
// 1603, and the report says so. The file keeps its attributes.
TEST(OrvalisCheckTest, DesktopIniAndDataFolderThatMakeInstallFail)
{
    std::wstring scratch = MakeScratchDir(L"check blocked");
    const std::wstring folder = scratch + L"\\Data";
    const std::wstring ini = folder + L"\\Desktop.ini";
    const std::wstring library = DistDir() + L"\\harnfold.dll";
    ClearDataFolderVariable();

    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", folder);
    ASSERT_TRUE(WriteBytes(ini, "[.ShellClassInfo]\r\n"));
    HANDLE held = CreateFileW(ini.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    CheckRun locked = RunCheck(L"");
    EXPECT_EQ(1603u, RunAction(library, "Install"));
    CloseHandle(held);
    EXPECT_EQ(L"Desktop.ini: in use by another process; Install would fail with 1603",
              locked.Line(L"Desktop.ini:"))
        << Dump(locked);

    SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(ini.c_str());
    ASSERT_TRUE(CreateDirectoryW(ini.c_str(), NULL));
    CheckRun aFolder = RunCheck(L"");
    EXPECT_EQ(1603u, RunAction(library, "Install"));
    EXPECT_EQ(L"Desktop.ini: a folder, not a file; Install would fail with 1603",
              aFolder.Line(L"Desktop.ini:"))
        << Dump(aFolder);
    ClearDataFolderVariable();

    {
        MovedCommonDocuments moved(scratch);
        const std::wstring file = scratch + L"\\CBM Files";
        ASSERT_TRUE(WriteBytes(file, "the user's own"));
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
        const DWORD before = GetFileAttributesW(file.c_str());
        CheckRun aFile = RunCheck(L"");
        EXPECT_EQ(L"Data folder source: \"CBM Files\" in the shared documents folder, which is a "
                  L"file, not a folder; Install would fail with 1603",
                  aFile.Line(L"Data folder source: "))
            << Dump(aFile);
        EXPECT_EQ(L"Desktop.ini: none can be written: the data folder is a file, not a folder; "
                  L"Install would fail with 1603",
                  aFile.Line(L"Desktop.ini:"));
        EXPECT_EQ(1603u, RunAction(library, "Install"));
        EXPECT_EQ(before, GetFileAttributesW(file.c_str())) << "Install leaves the file alone";
        EXPECT_EQ(0u, RunAction(library, "Uninstall"));
        EXPECT_EQ(before, GetFileAttributesW(file.c_str())) << "Uninstall leaves the file alone";
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey);
    RemoveTree(scratch);
}

// A Desktop.ini that fills the read buffer, or more, is told as larger than
// the library writes; the read never runs past the buffer (the program is
// stack-protected, so an overrun ends it).
TEST(OrvalisCheckTest, DesktopIniOfTheReadBufferSizeAndLarger)
{
    std::wstring folder = MakeScratchDir(L"check large");
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", folder);
    const std::string head =
        "[.ShellClassInfo]\r\nIconFile=C:\\x.dll\r\nIconIndex=-10\r\nLocalizedResourceName=@";
    struct Case
    {
        size_t bytes;
        const WCHAR* line;
    };
    const Case cases[] = {
        {4095, L"Desktop.ini: indirect form (the shell loads the names from the library)"},
        {4096, L"Desktop.ini: present, but larger than harnfold.dll ever writes"},
        {4097, L"Desktop.ini: present, but larger than harnfold.dll ever writes"},
        {20000, L"Desktop.ini: present, but larger than harnfold.dll ever writes"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.bytes);
        ASSERT_TRUE(
            WriteBytes(folder + L"\\Desktop.ini", head + std::string(c.bytes - head.size(), 'x')));
        CheckRun run = RunCheck(L"");
        EXPECT_EQ(1u, run.exitCode) << Dump(run);
        EXPECT_EQ(c.line, run.Line(L"Desktop.ini:")) << Dump(run);
        EXPECT_NE(L"", run.Line(L"Installation count")) << Dump(run);
    }
    ClearDataFolderVariable();
    RemoveTree(folder);
}

// Install itself writes the library's path in the ANSI code page; the report
// reads it back in that code page, not as UTF-8.
TEST(OrvalisCheckTest, DesktopIniWrittenByInstallNamesItsLibrary)
{
    std::wstring scratch = MakeScratchDir(L"check ansi");
    const std::wstring library = scratch + L"\\Biblioth\x00e8que \x00c5\\harnfold.dll";
    ASSERT_TRUE(CopyInto(DistDir() + L"\\harnfold.dll", library));
    const std::wstring folder = scratch + L"\\Data";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", folder);
    ASSERT_EQ(0u, RunAction(library, "Install"));
    CheckRun run = RunCheck(L"");
    EXPECT_EQ(L"Desktop.ini names: " + library + L", which exists", run.Line(L"Desktop.ini names:"))
        << Dump(run);
    ClearDataFolderVariable();
    DeleteTree(HKEY_LOCAL_MACHINE, kProductKey);
    SetFileAttributesW((folder + L"\\Desktop.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTree(scratch);
}

// A TIDEWELLDATA of one byte is less than a character: the library treats it
// as empty, and so does the report.
TEST(OrvalisCheckTest, OneByteDataFolderVariableIsEmpty)
{
    // Padded, so that the registry stores exactly the one byte asked for.
    const char data[] = {'C', 0, 0, 0};
    ASSERT_TRUE(SetRawValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", REG_SZ, data, 1));
    HKEY key;
    DWORD bytes = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_READ, &key));
    RegQueryValueExW(key, L"TIDEWELLDATA", NULL, NULL, NULL, &bytes);
    RegCloseKey(key);
    ASSERT_EQ(1u, bytes);
    CheckRun run = RunCheck(L"");
    ClearDataFolderVariable();
    EXPECT_TRUE(
        run.Has(L"  the user's TIDEWELLDATA (HKCU\\Environment): present but not used: empty"))
        << Dump(run);
}

namespace
{

uint32_t Le32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void PutLe32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Where the image's import directory entry, its first descriptor and the
// header of the section holding it lie in the file (0 when not found); the
// fixture images are well formed.
void FindImports(const std::string& b, size_t* entry, size_t* descriptor, size_t* section)
{
    size_t pe = Le32(b, 0x3C), optional = pe + 24;
    unsigned magic =
        static_cast<unsigned char>(b[optional]) | static_cast<unsigned char>(b[optional + 1]) << 8;
    *entry = optional + (magic == 0x20B ? 112 : 96) + 8;
    uint32_t rva = Le32(b, *entry);
    unsigned sections = static_cast<unsigned char>(b[pe + 6]);
    size_t table = optional + (static_cast<unsigned char>(b[pe + 20]) |
                               static_cast<unsigned char>(b[pe + 21]) << 8);
    *descriptor = 0;
    for (unsigned i = 0; i < sections; ++i)
    {
        size_t s = table + 40 * i;
        uint32_t address = Le32(b, s + 12), raw = Le32(b, s + 16), offset = Le32(b, s + 20);
        if (rva >= address && rva - address < raw)
        {
            *descriptor = offset + (rva - address);
            *section = s;
        }
    }
}

}  // namespace

// The import table is untrusted: offsets that lead out of the file are told
// as such, never read.
TEST(OrvalisCheckTest, AnImportTableOutOfBoundsIsToldNotRead)
{
    std::string image;
    ASSERT_TRUE(ReadBytes(FixtureHost(L"host-needs-helper"), &image));
    size_t entry = 0, descriptor = 0, section = 0;
    FindImports(image, &entry, &descriptor, &section);
    ASSERT_NE(0u, descriptor);
    // The section's bytes moved so that the first descriptor starts 8 bytes
    // before the file's end.
    const uint32_t nearEnd =
        static_cast<uint32_t>(image.size() - 8 - (descriptor - Le32(image, section + 20)));
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
        const WCHAR* line;
    };
    const Case cases[] = {
        {"directory beyond the image", entry, 0x7FFFFFF0u,
         L"OrvalisOpen: the host's import table can't be read: it is not a library Windows can "
         L"load"},
        {"name beyond the image", descriptor + 12, 0xFFFFFFF0u,
         L"OrvalisOpen: the host's import table names a library unreadably"},
        {"descriptor across the file's end", section + 20, nearEnd, L""},
        {"section bytes beyond the file", section + 20, 0x7FFFFF00u,
         L"OrvalisOpen: the host's import table can't be read: it is not a library Windows can "
         L"load"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Installations players;
        std::wstring host = players.Add(L"inst", L"host-needs-helper");
        std::string patched = image;
        PutLe32(patched, c.at, c.value);
        ASSERT_TRUE(WriteBytes(host, patched));
        CheckRun run = RunCheck(L"");
        EXPECT_EQ(0u, run.exitCode) << Dump(run);
        if (c.line[0] != 0)
        {
            EXPECT_TRUE(run.Has(c.line)) << Dump(run);
        }
        EXPECT_NE(L"", run.Line(L"Installation count")) << Dump(run);
    }
}
