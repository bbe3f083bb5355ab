#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Installations.h"
#include "PlayerLauncher.h"
#include "Seam.h"
#include "TestSupport.h"

namespace
{

VersionQuad Quad(WORD major, WORD minor, WORD build, WORD revision)
{
    VersionQuad v = {major, minor, build, revision};
    return v;
}

std::string Text(const VersionQuad& v)
{
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) +
           "." + std::to_string(v.revision);
}

std::wstring TextOf(const WideBuffer& buffer)
{
    return buffer.text != NULL ? std::wstring(buffer.text) : std::wstring(L"<unset>");
}

}  // namespace

TEST(CompareVersions, OrdersFieldByFieldUnsignedAndRanksMissingLowest)
{
    const VersionQuad v3_9 = Quad(3, 9, 0, 0), v3_10 = Quad(3, 10, 0, 0),
                      v3_65535 = Quad(3, 65535, 0, 0), v2_99 = Quad(2, 99, 99, 99),
                      v3_9_0_1 = Quad(3, 9, 0, 1), v3_9_1_0 = Quad(3, 9, 1, 0),
                      zero = Quad(0, 0, 0, 0);
    struct Case
    {
        const VersionQuad* a;
        const VersionQuad* b;
        int expected;
    };
    const Case cases[] = {
        {NULL, NULL, 2},       {NULL, &zero, 1},      {&zero, NULL, 3},          {&v3_9, &v3_9, 2},
        {&v3_10, &v3_9, 3},    {&v3_9, &v3_10, 1},    {&v3_65535, &v3_10, 3},    {&v2_99, &v3_9, 1},
        {&v3_9_0_1, &v3_9, 3}, {&v3_9, &v3_9_1_0, 1}, {&v3_9_1_0, &v3_9_0_1, 3}, {&zero, &zero, 2},
        {&v3_9, &zero, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CompareVersions(c.a, c.b))
            << (c.a ? Text(*c.a) : "null") << " vs " << (c.b ? Text(*c.b) : "null");
}

TEST(ReadFileVersion, ReadsTheFixedFileVersionOrReportsZeros)
{
    std::wstring scratch = MakeScratchDir(L"versions");
    struct Case
    {
        std::wstring path;
        bool read;
        VersionQuad expected;
    };
    const Case cases[] = {
        {FixtureHost(L"host-1.2.3.4"), true, Quad(1, 2, 3, 4)},
        {FixtureHost(L"host-3.10"), true, Quad(3, 10, 0, 0)},
        {FixtureHost(L"host-3.65535"), true, Quad(3, 65535, 0, 0)},
        {FixtureHost(L"host-0.0"), true, Quad(0, 0, 0, 0)},
        {FixtureHost(L"host-noversion"), false, Quad(0, 0, 0, 0)},
        // Fixed file information shorter than its structure, or claiming more
        // bytes than the version block holds: treated as no version.
        {FixtureHost(L"malformed-short"), false, Quad(0, 0, 0, 0)},
        {FixtureHost(L"malformed-oversized"), false, Quad(0, 0, 0, 0)},
        {scratch + L"\\missing.dll", false, Quad(0, 0, 0, 0)},
        {scratch, false, Quad(0, 0, 0, 0)},
    };
    for (const Case& c : cases)
    {
        VersionQuad v = Quad(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
        EXPECT_EQ(c.read,
                  ReadFileVersion(c.path.c_str(), &v.major, &v.minor, &v.build, &v.revision))
            << Utf8(c.path);
        EXPECT_EQ(Text(c.expected), Text(v)) << Utf8(c.path);
    }
    VersionQuad none = Quad(1, 1, 1, 1);
    EXPECT_FALSE(ReadFileVersion(NULL, &none.major, &none.minor, &none.build, &none.revision));
    EXPECT_EQ("0.0.0.0", Text(none));
    EXPECT_TRUE(ReadFileVersion(FixtureHost(L"host-3.9").c_str(), NULL, NULL, NULL, NULL));
    WORD minor = 0xFFFF;
    EXPECT_TRUE(ReadFileVersion(FixtureHost(L"host-3.9").c_str(), NULL, &minor, NULL, NULL));
    EXPECT_EQ(9, minor);
    RemoveTree(scratch);
}

TEST(ReadFileVersion, VersionBlockIsTheSizeReportedAndItsAllocationFailureMeansUnread)
{
    std::wstring path = FixtureHost(L"host-3.9");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    WORD major = 0xFFFF;
    EXPECT_TRUE(ReadFileVersion(path.c_str(), &major, NULL, NULL, NULL));
    ASSERT_EQ(1u, SeamLocalAllocRequests().size());
    EXPECT_EQ(size, SeamLocalAllocRequests()[0]);

    SeamReset();
    SeamFailCall(SeamCallLocalAlloc, 1);
    major = 0xFFFF;
    EXPECT_FALSE(ReadFileVersion(path.c_str(), &major, NULL, NULL, NULL));
    EXPECT_EQ(0, major);
}

// Which installation wins: each row registers installations in order (a
// fixture variant, or none for a registered file without a host library)
// and names the one expected to be chosen (-1: none).
TEST(FindNewestHost, ChoosesTheFirstInstallationWithTheHighestVersion)
{
    struct Case
    {
        std::vector<std::wstring> variants;
        int chosen;
        VersionQuad best;
    };
    const Case cases[] = {
        {{L"host-3.9", L"host-3.10"}, 1, Quad(3, 10, 0, 0)},
        {{L"host-3.10", L"host-3.9"}, 0, Quad(3, 10, 0, 0)},
        {{L"host-3.9", L"host-wide"}, 0, Quad(3, 9, 0, 0)},
        {{L"host-3.10", L"host-3.65535", L"host-3.9"}, 1, Quad(3, 65535, 0, 0)},
        {{L"host-0.0"}, -1, Quad(0, 0, 0, 0)},
        {{L"host-noversion", L"", L"host-0.0"}, -1, Quad(0, 0, 0, 0)},
        {{L"host-noversion", L"host-1.2.3.4", L""}, 1, Quad(1, 2, 3, 4)},
        {{L"malformed-short", L"host-3.9", L"malformed-oversized"}, 1, Quad(3, 9, 0, 0)},
        // Not loadable, but its version is what counts here.
        {{L"host-3.9", L"host-unloadable"}, 1, Quad(3, 20, 0, 0)},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        Installations players;
        std::vector<std::wstring> hosts;
        for (size_t k = 0; k < c.variants.size(); ++k)
            hosts.push_back(players.Add(L"inst" + std::to_wstring(k), c.variants[k]));
        WideBuffer chosen;
        VersionQuad best = Quad(1, 1, 1, 1);
        EXPECT_EQ(c.chosen >= 0, FindNewestHost(chosen, &best));
        EXPECT_EQ(c.chosen >= 0 ? hosts[c.chosen] : L"<unset>", TextOf(chosen));
        EXPECT_EQ(Text(c.best), Text(best));
    }
}

TEST(FindNewestHost, IgnoresRegisteredPathsThatDoNotNameAnExistingFile)
{
    Installations players;
    std::wstring good = players.Add(L"good", L"host-3.9");
    std::wstring newer = players.Scratch() + L"\\newer";
    CopyInto(FixtureHost(L"host-3.10"), newer + L"\\Player\\OrvalisHost.dll");
    WriteBytes(newer + L"\\app.exe", "x");
    ScopedEnvironment variable({L"ORVALIS_NEWER=" + newer});
    // Each of these would reach the 3.10 host if it were taken for more than it says.
    players.Register(newer + L"\\missing.exe");
    players.Register(newer);                        // a folder
    players.Register(newer + L"\\");                // a folder, trailing backslash
    players.Register(L"%ORVALIS_NEWER%\\app.exe");  // not expanded
    players.Register(L"app.exe");                   // exists in no folder we know; no backslash
    WideBuffer chosen;
    EXPECT_TRUE(FindNewestHost(chosen, NULL));
    EXPECT_EQ(good, TextOf(chosen));
}

TEST(FindNewestHost, PathWithoutBackslashIsSkippedEvenWhenTheFileExists)
{
    // A bare file name that exists relative to the current folder.
    Installations players;
    std::wstring folder = players.Scratch() + L"\\cwd";
    WriteBytes(folder + L"\\app.exe", "x");
    CopyInto(FixtureHost(L"host-3.9"), folder + L"\\Player\\OrvalisHost.dll");
    WCHAR previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());
    players.Register(L"app.exe");
    ASSERT_TRUE(FileExists(L"app.exe"));
    WideBuffer chosen;
    EXPECT_FALSE(FindNewestHost(chosen, NULL));
    SetCurrentDirectoryW(previous);
}

// Registrations that name a newer installation only through the current
// folder or drive are skipped; the one fully qualified registration wins.
TEST(FindNewestHost, RegistrationsThatAreNotFullyQualifiedAreSkipped)
{
    Installations players;
    std::wstring good = players.Add(L"good", L"host-3.9");
    std::wstring folder = players.Scratch() + L"\\cwd";
    WriteBytes(folder + L"\\Orvalis\\Orvalis.exe", "x");
    CopyInto(FixtureHost(L"host-3.10"), folder + L"\\Orvalis\\Player\\OrvalisHost.dll");
    ASSERT_EQ(L':', folder[1]);
    WCHAR previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    const std::wstring relative[] = {
        L"Orvalis\\Orvalis.exe",
        L".\\Orvalis\\Orvalis.exe",
        L"..\\cwd\\Orvalis\\Orvalis.exe",
        folder.substr(0, 2) + L"Orvalis\\Orvalis.exe",  // relative to the drive's current folder
        folder.substr(2) + L"\\Orvalis\\Orvalis.exe",   // relative to the current drive
    };
    for (const std::wstring& path : relative)
    {
        ASSERT_TRUE(FileExists(path)) << Utf8(path);
        players.Register(path);
    }
    WideBuffer chosen;
    VersionQuad best;
    EXPECT_TRUE(FindNewestHost(chosen, &best));
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(good, TextOf(chosen));
    EXPECT_EQ("3.9.0.0", Text(best));
}

TEST(FindNewestHost, OpensTheMachineKeyForReadingWithoutAViewFlag)
{
    Installations players;
    players.Add(L"a", L"host-3.9");
    WideBuffer chosen;
    EXPECT_TRUE(FindNewestHost(chosen, NULL));
    ASSERT_EQ(1u, SeamRegOpens().size());
    EXPECT_EQ(HKEY_LOCAL_MACHINE, SeamRegOpens()[0].root);
    EXPECT_EQ(std::wstring(kPlayersKey), SeamRegOpens()[0].subKey);
    EXPECT_EQ(static_cast<REGSAM>(0x20019), SeamRegOpens()[0].access);
}

TEST(FindNewestHost, MissingOrEmptyKeyChoosesNothing)
{
    Installations players;
    WideBuffer chosen;
    EXPECT_FALSE(FindNewestHost(chosen, NULL));
    EXPECT_EQ(0u, SeamLocalAllocRequests().size());

    players.CreateEmptyKey();
    SeamReset();
    EXPECT_FALSE(FindNewestHost(chosen, NULL));
    // n = 0 and d = 0: only the name area's terminator.
    ASSERT_EQ(1u, SeamLocalAllocRequests().size());
    EXPECT_EQ(2u, SeamLocalAllocRequests()[0]);
}

// One block of d + 2n + 2 bytes serves every value; a short value before a
// long one proves both capacities are set again before each call.
TEST(FindNewestHost, OneEnumerationBlockSizedFromTheLongestNameAndLargestData)
{
    Installations players;
    std::wstring shortHost = players.Add(L"s", L"host-3.9");
    std::wstring longFolder = L"a-much-longer-installation-folder-name";
    std::wstring longHost = players.Scratch() + L"\\" + longFolder + L"\\Player\\OrvalisHost.dll";
    std::wstring longFile = players.Scratch() + L"\\" + longFolder + L"\\app.exe";
    WriteBytes(longFile, "x");
    CopyInto(FixtureHost(L"host-3.10"), longHost);
    const std::wstring longName = L"v999-the-longest-value-name-of-all";
    ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, longName, longFile));
    WideBuffer chosen;
    EXPECT_TRUE(FindNewestHost(chosen, NULL));
    EXPECT_EQ(longHost, TextOf(chosen));
    size_t d = (longFile.size() + 1) * sizeof(WCHAR);
    size_t n = longName.size();
    ASSERT_LE(1u, SeamLocalAllocRequests().size());
    EXPECT_EQ(d + 2 * n + 2, SeamLocalAllocRequests()[0]);
    // The block, then one version block per host read: two hosts.
    EXPECT_EQ(3u, SeamLocalAllocRequests().size());
    (void)shortHost;
}

// Registry data is taken as a UTF-16 string ended by a 16-bit zero within the
// data, whatever the value's type. Data without such a zero is skipped, even
// when it fills the data area to its last byte.
TEST(FindNewestHost, RegistryDataIsUsedOnlyUpToItsOwnTerminator)
{
    enum Form
    {
        Terminated,
        TerminatedPlusOddByte,
        Unterminated,
        UnterminatedOdd,
        TwoStrings,
        Empty,
        JustTerminator,
        Number,
    };
    struct Case
    {
        DWORD type;
        Form form;
        bool chosen;
    };
    const Case cases[] = {
        {REG_SZ, Terminated, true},
        {REG_EXPAND_SZ, Terminated, true},
        {REG_BINARY, Terminated, true},
        {REG_MULTI_SZ, TwoStrings, true},
        {REG_SZ, TerminatedPlusOddByte, true},
        {REG_SZ, Unterminated, false},
        {REG_BINARY, Unterminated, false},
        {REG_SZ, UnterminatedOdd, false},
        {REG_BINARY, UnterminatedOdd, false},
        {REG_SZ, Empty, false},
        {REG_SZ, JustTerminator, false},
        {REG_DWORD, Number, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        Installations players;
        std::wstring folder = players.Scratch() + L"\\inst";
        WriteBytes(folder + L"\\app.exe", "x");
        CopyInto(FixtureHost(L"host-3.9"), folder + L"\\Player\\OrvalisHost.dll");
        std::wstring path = folder + L"\\app.exe";
        std::string bytes(reinterpret_cast<const char*>(path.c_str()), path.size() * sizeof(WCHAR));
        const std::string zero(2, '\0');
        switch (c.form)
        {
        case Terminated: bytes += zero; break;
        case TerminatedPlusOddByte: bytes += zero + "x"; break;
        case Unterminated: break;
        case UnterminatedOdd: bytes += "\\"; break;
        case TwoStrings: bytes += zero + std::string("o\0\0\0\0\0", 6); break;
        case Empty: bytes.clear(); break;
        case JustTerminator: bytes = zero; break;
        case Number: bytes = std::string("\x5c\0\0\0", 4); break;
        }
        ASSERT_TRUE(players.RegisterRaw(c.type, bytes.data(), static_cast<DWORD>(bytes.size())));
        WideBuffer chosen;
        EXPECT_EQ(c.chosen, FindNewestHost(chosen, NULL));
        EXPECT_EQ(c.chosen ? folder + L"\\Player\\OrvalisHost.dll" : L"<unset>", TextOf(chosen));
    }
}

// The data area still holds the longer data of the value before; a reader
// that ran on past the short unterminated value would find a path to a newer
// host there. Binary data, because the registry ends string types itself when
// the buffer has room (beyond the size it reports).
TEST(FindNewestHost, UnterminatedDataIsNotReadIntoWhatTheValueBeforeLeft)
{
    Installations players;
    std::wstring older = players.Scratch() + L"\\aa\\old";
    std::wstring newer = players.Scratch() + L"\\bb\\old";
    for (const std::wstring& dir : {older, newer})
        WriteBytes(dir + L"\\app.exe", "x");
    CopyInto(FixtureHost(L"host-3.9"), older + L"\\Player\\OrvalisHost.dll");
    CopyInto(FixtureHost(L"host-3.10"), newer + L"\\Player\\OrvalisHost.dll");
    players.Register(older + L"\\app.exe");
    std::wstring prefix = players.Scratch() + L"\\bb";
    ASSERT_TRUE(players.RegisterRaw(REG_BINARY, prefix.c_str(),
                                    static_cast<DWORD>(prefix.size() * sizeof(WCHAR))));
    WideBuffer chosen;
    EXPECT_TRUE(FindNewestHost(chosen, NULL));
    EXPECT_EQ(older + L"\\Player\\OrvalisHost.dll", TextOf(chosen));
}

// Windows leaves whatever was there behind the data it delivers; here that
// happens to be a zero unit. Data without a terminator of its own is still
// skipped: the newer host it names is never chosen.
TEST(FindNewestHost, UnterminatedDataIsSkippedWhenAZeroHappensToFollowIt)
{
    for (DWORD type : {static_cast<DWORD>(REG_BINARY), static_cast<DWORD>(REG_SZ)})
    {
        SCOPED_TRACE(type);
        SeamReset();
        Installations players;
        // The longest data, so the shorter value has room behind it.
        std::wstring older =
            players.Add(L"an-older-installation-with-a-long-folder-name", L"host-3.9");
        std::wstring newer = players.Scratch() + L"\\new";
        WriteBytes(newer + L"\\app.exe", "x");
        CopyInto(FixtureHost(L"host-3.10"), newer + L"\\Player\\OrvalisHost.dll");
        std::wstring path = newer + L"\\app.exe";
        ASSERT_TRUE(players.RegisterRaw(type, path.c_str(),
                                        static_cast<DWORD>(path.size() * sizeof(WCHAR))));
        SeamSetZeroAfterEnumData(true);
        WideBuffer chosen;
        EXPECT_TRUE(FindNewestHost(chosen, NULL));
        EXPECT_EQ(older, TextOf(chosen));
    }
}

// Any failure of RegEnumValueW ends the enumeration, ERROR_MORE_DATA in the
// middle of it too (a value grew after the sizes were taken): what was
// examined before still counts, nothing after it is asked for, and the
// block and the key are released.
TEST(FindNewestHost, AFailedEnumerationStepEndsTheEnumeration)
{
    Installations players;
    std::wstring first = players.Add(L"a", L"host-3.9");
    players.Add(L"b", L"host-3.10");
    struct Case
    {
        int nth;
        LONG error;
        bool chosen;
    };
    const Case cases[] = {
        {1, ERROR_MORE_DATA, false},
        {2, ERROR_MORE_DATA, true},
        {2, ERROR_ACCESS_DENIED, true},
        {1, ERROR_NOT_ENOUGH_MEMORY, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.nth) + ": " + std::to_string(c.error));
        SeamReset();
        SeamFailCall(SeamCallRegEnumValueW, c.nth, 1, static_cast<DWORD>(c.error));
        WideBuffer chosen;
        VersionQuad best;
        EXPECT_EQ(c.chosen, FindNewestHost(chosen, &best));
        EXPECT_EQ(c.chosen ? first : L"<unset>", TextOf(chosen));
        EXPECT_EQ(c.nth, SeamCallsMade(SeamCallRegEnumValueW));
        SeamOutstanding o = SeamGetOutstanding();
        EXPECT_EQ(0, o.keys);
        EXPECT_EQ(0, o.localBlocks);
    }
}

TEST(FindNewestHost, FailuresBeforeTheEnumerationChooseNothingAndReleaseEverything)
{
    struct Case
    {
        SeamCall call;
        int localAllocs;  // blocks asked for
    };
    const Case cases[] = {
        {SeamCallRegOpenKeyExW, 0},
        {SeamCallRegQueryInfoKeyW, 0},
        {SeamCallLocalAlloc, 1},
    };
    Installations players;
    players.Add(L"a", L"host-3.9");
    for (const Case& c : cases)
    {
        SeamReset();
        SeamFailCall(c.call, 1, 1, ERROR_ACCESS_DENIED);
        WideBuffer chosen;
        VersionQuad best = Quad(1, 1, 1, 1);
        EXPECT_FALSE(FindNewestHost(chosen, &best)) << c.call;
        EXPECT_EQ(nullptr, chosen.text);
        EXPECT_EQ("0.0.0.0", Text(best));
        EXPECT_EQ(static_cast<size_t>(c.localAllocs), SeamLocalAllocRequests().size()) << c.call;
        EXPECT_EQ(0, SeamGetOutstanding().keys) << c.call;
    }
}

// Installations 3.10 then 3.9. Global blocks in order: 3.10's candidate
// (Assign, Append), the chosen copy, 3.9's candidate (Assign, Append).
// Local blocks: the enumeration block, then each host's version block.
TEST(FindNewestHost, ExhaustedMemoryDuringTheEnumeration)
{
    struct Case
    {
        SeamCall call;
        int nth;
        int chosen;  // -1: none
        VersionQuad best;
    };
    const Case cases[] = {
        {SeamCallGlobalAlloc, 1, 1, Quad(3, 9, 0, 0)},    // candidate Assign
        {SeamCallGlobalAlloc, 2, 1, Quad(3, 9, 0, 0)},    // candidate Append: folder left, skipped
        {SeamCallGlobalAlloc, 3, -1, Quad(3, 10, 0, 0)},  // chosen copy: version kept, path unset
        {SeamCallGlobalAlloc, 5, 0, Quad(3, 10, 0, 0)},   // the older one's Append
        {SeamCallLocalAlloc, 2, 1, Quad(3, 9, 0, 0)},     // 3.10's version block
    };
    Installations players;
    std::vector<std::wstring> hosts;
    hosts.push_back(players.Add(L"a", L"host-3.10"));
    hosts.push_back(players.Add(L"b", L"host-3.9"));
    for (const Case& c : cases)
    {
        SeamReset();
        SeamFailCall(c.call, c.nth);
        WideBuffer chosen;
        VersionQuad best;
        EXPECT_EQ(c.chosen >= 0, FindNewestHost(chosen, &best)) << c.call << "#" << c.nth;
        EXPECT_EQ(c.chosen >= 0 ? hosts[c.chosen] : L"<unset>", TextOf(chosen))
            << c.call << "#" << c.nth;
        EXPECT_EQ(Text(c.best), Text(best)) << c.call << "#" << c.nth;
    }
}

// The whole launcher, in this process. The fixture host writes what it got.
class RunPlayerLauncherTest : public testing::Test
{
protected:
    void SetUp() override
    {
        log_ = players_.Scratch() + L"\\received.txt";
        SetEnvironmentVariableW(L"ORVALIS_FIXTURE_LOG", log_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"ORVALIS_FIXTURE_LOG", NULL);
        SetEnvironmentVariableW(L"ORVALIS_FIXTURE_RESULT", NULL);
    }
    std::map<std::string, std::string> Received()
    {
        std::map<std::string, std::string> record = ReadRecord(log_);
        DeleteFileW(log_.c_str());
        return record;
    }
    static std::string AnsiHex(const std::wstring& text)
    {
        char bytes[1024];
        int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof bytes, NULL, NULL);
        std::string hex;
        for (int i = 0; i + 1 < n; ++i)
        {
            char two[3];
            snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[i]));
            hex += two;
        }
        return hex;
    }

    Installations players_;
    std::wstring log_;
};

TEST_F(RunPlayerLauncherTest, HandsTheWideEntryTheCommandLineAndPath)
{
    std::wstring host = players_.Add(L"old", L"host-3.9");
    std::wstring newest = players_.Add(L"new", L"host-3.10");
    const WCHAR line[] =
        L"\"C:\\Program Files\\Orvalis\\OrvalisOpen.exe\"  -autostart \"disk 1.d64\" ";
    SeamSetCommandLine(line);
    HINSTANCE instance = GetModuleHandleW(NULL);
    EXPECT_EQ(0, RunPlayerLauncher(instance));
    std::map<std::string, std::string> r = Received();
    ExpectWideCall(r, "<null>", line, newest);
    EXPECT_EQ(Utf8(newest), r["module"]);
    ASSERT_EQ(1u, SeamLoadedNames().size());
    EXPECT_EQ(newest, SeamLoadedNames()[0]);
    (void)host;
}

TEST_F(RunPlayerLauncherTest, NarrowEntryGetsAnsiTextAndNullForWhatCouldNotBeConverted)
{
    std::wstring host = players_.Add(L"narrow", L"host-narrow");
    const std::wstring line = L"OrvalisOpen.exe \"caf\x00e9 disk.d64\"";
    struct Case
    {
        SeamCall call;
        int nth;  // 0: no fault
        bool lineConverted;
        bool pathConverted;
    };
    // WideCharToMultiByte: line size, line, path size, path. Global blocks:
    // candidate (2), chosen, command line, narrow line, narrow path.
    const Case cases[] = {
        {SeamCallWideCharToMultiByte, 0, true, true},
        {SeamCallWideCharToMultiByte, 1, false, true},
        {SeamCallWideCharToMultiByte, 2, false, true},
        {SeamCallWideCharToMultiByte, 3, true, false},
        {SeamCallWideCharToMultiByte, 4, true, false},
        {SeamCallGlobalAlloc, 5, false, true},
        {SeamCallGlobalAlloc, 6, true, false},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        SeamSetCommandLine(line.c_str());
        if (c.nth > 0)
            SeamFailCall(c.call, c.nth);
        EXPECT_EQ(0, RunPlayerLauncher(GetModuleHandleW(NULL)));
        std::map<std::string, std::string> r = Received();
        std::string where = std::to_string(c.call) + "#" + std::to_string(c.nth);
        SCOPED_TRACE(where);
        EXPECT_EQ("OrvalisHost", r["entry"]) << where;
        EXPECT_EQ("<null>", r["product"]) << where;
        EXPECT_EQ(c.lineConverted ? AnsiHex(line) : "<null>", r["commandLineBytes"]) << where;
        EXPECT_EQ(c.pathConverted ? AnsiHex(host) : "<null>", r["hostPathBytes"]) << where;
        ExpectStandardArguments(r);
        EXPECT_EQ(0, SeamGetOutstanding().globalBlocks) << where;
    }
}

TEST_F(RunPlayerLauncherTest, CommandLineWhoseCopyFailedTwiceIsPassedAsNull)
{
    players_.Add(L"a", L"host-3.9");
    SeamSetCommandLine(L"OrvalisOpen.exe x");
    // Candidate (Assign, Append), chosen copy, then both command-line copies.
    SeamFailCall(SeamCallGlobalAlloc, 4, 2);
    EXPECT_EQ(0, RunPlayerLauncher(GetModuleHandleW(NULL)));
    std::map<std::string, std::string> r = Received();
    EXPECT_EQ("OrvalisHostW", r["entry"]);
    EXPECT_EQ("<null>", r["commandLine"]);
    EXPECT_EQ(5, SeamCallsMade(SeamCallGlobalAlloc));
}

TEST_F(RunPlayerLauncherTest, ExitCodes)
{
    struct Case
    {
        std::vector<std::wstring> variants;
        const WCHAR* hostResult;  // null: default
        bool failLoad;            // LoadLibraryW of the chosen host fails
        int exitCode;
        int loads;
        const WCHAR* message;  // null: no message box
    };
    const WCHAR* const notFound = L"Player\\OrvalisHost.dll cannot be found.";
    const WCHAR* const notOpened = L"Player\\OrvalisHost.dll cannot be opened.";
    const Case cases[] = {
        {{L"host-3.9"}, L"7", false, 7, 1, NULL},
        {{L"host-3.9"}, L"-1", false, -1, 1, NULL},
        {{L"host-narrow"}, L"-123456", false, -123456, 1, NULL},
        {{L"host-noentry"}, NULL, false, -2, 1, NULL},
        {{L"host-0.0"}, NULL, false, -1, 0, notFound},
        {{}, NULL, false, -1, 0, notFound},
        // Another installation would load; it is not tried.
        {{L"host-3.9", L"host-3.10"}, NULL, true, -1, 1, notOpened},
        {{L"host-3.9", L"host-unloadable"}, NULL, false, -1, 1, notOpened},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        SeamReset();
        Installations players;
        std::wstring last;
        for (size_t k = 0; k < c.variants.size(); ++k)
            last = players.Add(L"inst" + std::to_wstring(k), c.variants[k]);
        if (c.failLoad)
            SeamFailLoadLibrary(last.c_str());
        SetEnvironmentVariableW(L"ORVALIS_FIXTURE_RESULT", c.hostResult);
        EXPECT_EQ(c.exitCode, RunPlayerLauncher(GetModuleHandleW(NULL)));
        EXPECT_EQ(static_cast<size_t>(c.loads), SeamLoadedNames().size());
        if (c.message == NULL)
        {
            EXPECT_TRUE(SeamMessageBoxes().empty());
        }
        else
        {
            ASSERT_EQ(1u, SeamMessageBoxes().size());
            const SeamMessageBox& box = SeamMessageBoxes()[0];
            EXPECT_EQ(nullptr, box.owner);
            EXPECT_EQ(c.message, box.text);
            EXPECT_EQ(L"OrvalisOpen", box.caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.type);
        }
        SeamOutstanding o = SeamGetOutstanding();
        EXPECT_EQ(0, o.globalBlocks + o.localBlocks + o.keys + o.modules)
            << SeamDescribeOutstanding();
    }
}
