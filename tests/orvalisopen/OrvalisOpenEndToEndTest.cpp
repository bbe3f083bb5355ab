// The real OrvalisOpen.exe (x64 build) run as a user would, against player
// installations registered in the test prefix's registry.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Installations.h"
#include "TestSupport.h"

namespace
{

std::wstring Launcher() { return DistDir() + L"\\OrvalisOpen.exe"; }

std::string Hex(const std::string& bytes)
{
    std::string hex;
    for (unsigned char c : bytes)
    {
        char two[3];
        snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    return hex;
}

std::string Ansi(const std::wstring& text)
{
    char bytes[2048];
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, bytes, sizeof bytes, NULL, NULL);
    return std::string(bytes, n > 0 ? n - 1 : 0);
}

class OrvalisOpenTest : public testing::Test
{
protected:
    OrvalisOpenTest() : log_(players_.Scratch() + L"\\received.txt") {}

    std::vector<std::wstring> Environment(const std::wstring& result = L"") const
    {
        std::vector<std::wstring> env;
        env.push_back(L"ORVALIS_FIXTURE_LOG=" + log_);
        if (!result.empty())
            env.push_back(L"ORVALIS_FIXTURE_RESULT=" + result);
        return env;
    }
    std::map<std::string, std::string> Received()
    {
        std::map<std::string, std::string> record = ReadRecord(log_);
        DeleteFileW(log_.c_str());
        return record;
    }

    Installations players_;
    std::wstring log_;
};

}  // namespace

TEST_F(OrvalisOpenTest, NewestHostGetsTheWholeCommandLine)
{
    players_.Add(L"broken", L"host-noversion");
    players_.Add(L"zero", L"host-0.0");
    players_.Add(L"old", L"host-3.9");
    std::wstring newest = players_.Add(L"new", L"host-3.10");
    players_.Add(L"same", L"host-3.10");
    players_.Register(players_.Scratch() + L"\\gone\\app.exe");
    const std::wstring line = L"\"" + Launcher() + L"\"  -autostart \"disk 1.d64\" -warp ";
    EXPECT_EQ(0u, RunProgram(Launcher(), line, Environment()));
    std::map<std::string, std::string> r = Received();
    ExpectWideCall(r, "<null>", line, newest);
    EXPECT_EQ(Utf8(newest), r["module"]);
    ExpectWindowsControlWord(r);
}

// The launcher reads the players key of its own registry view, as every
// process does without a view flag: the 32-bit one sees Wow6432Node. A newer
// installation registered only in the other view is invisible to it.
TEST_F(OrvalisOpenTest, OnlyRegistrationsInItsOwnRegistryViewCount)
{
    const REGSAM otherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    std::wstring own = players_.Add(L"own", L"host-3.9");
    std::wstring other = players_.Scratch() + L"\\other";
    ASSERT_TRUE(WriteBytes(other + L"\\app.exe", "registered file"));
    ASSERT_TRUE(CopyInto(FixtureHost(L"host-3.10"), other + L"\\Player\\OrvalisHost.dll"));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, NULL, 0,
                                             KEY_SET_VALUE | otherView, NULL, &key, NULL));
    std::wstring path = other + L"\\app.exe";
    LONG stored =
        RegSetValueExW(key, L"Other view", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, stored);

    const std::wstring line = L"\"" + Launcher() + L"\" view.d64";
    EXPECT_EQ(0u, RunProgram(Launcher(), line, Environment()));
    std::map<std::string, std::string> r = Received();
    ExpectWideCall(r, "<null>", line, own);

    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, KEY_SET_VALUE | otherView, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, L"Other view"));
    RegCloseKey(key);
}

// A newer installation that only the working folder leads to, registered
// three ways relative to it: each is skipped, the older fully qualified
// registration is the one handed over.
TEST_F(OrvalisOpenTest, RegistrationsRelativeToTheWorkingFolderAreSkipped)
{
    std::wstring old = players_.Add(L"old", L"host-3.9");
    std::wstring cwd = players_.Scratch() + L"\\cwd";
    ASSERT_TRUE(WriteBytes(cwd + L"\\Orvalis\\Orvalis.exe", "registered file"));
    ASSERT_TRUE(CopyInto(FixtureHost(L"host-3.10"), cwd + L"\\Orvalis\\Player\\OrvalisHost.dll"));
    ASSERT_EQ(L':', cwd[1]);
    players_.Register(L"Orvalis\\Orvalis.exe");
    players_.Register(L".\\Orvalis\\Orvalis.exe");
    players_.Register(cwd.substr(0, 2) + L"Orvalis\\Orvalis.exe");
    players_.Register(cwd.substr(2) + L"\\Orvalis\\Orvalis.exe");
    const std::wstring line = L"\"" + Launcher() + L"\" game.d64";
    EXPECT_EQ(0u, RunProgram(Launcher(), line, Environment(), 30000, cwd));
    std::map<std::string, std::string> r = Received();
    ExpectWideCall(r, "<null>", line, old);
    EXPECT_EQ(Utf8(old), r["module"]);
}

TEST_F(OrvalisOpenTest, NarrowOnlyHostGetsAnsiText)
{
    players_.Add(L"wide", L"host-3.10");
    std::wstring narrow = players_.Add(L"narrow \x00e9", L"host-narrow");
    const std::wstring line = L"\"" + Launcher() + L"\" caf\x00e9.prg";
    EXPECT_EQ(0u, RunProgram(Launcher(), line, Environment()));
    std::map<std::string, std::string> r = Received();
    EXPECT_EQ("OrvalisHost", r["entry"]);
    EXPECT_EQ("<null>", r["product"]);
    EXPECT_EQ(Hex(Ansi(line)), r["commandLineBytes"]);
    EXPECT_EQ(Hex(Ansi(narrow)), r["hostPathBytes"]);
    ExpectStandardArguments(r);
    ExpectWindowsControlWord(r);
}

TEST_F(OrvalisOpenTest, ExitCodeIsTheHostsResultOrMinusTwoWithoutEntry)
{
    struct Case
    {
        const WCHAR* variant;
        const WCHAR* result;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"host-3.9", L"7", 7},
        {L"host-3.9", L"-1", 0xFFFFFFFFu},
        {L"host-narrow", L"7", 7},
        {L"host-noentry", L"7", 0xFFFFFFFEu},
    };
    for (const Case& c : cases)
    {
        Installations players;
        players.Add(L"inst", c.variant);
        bool found = true;
        MessageBoxSeen seen;
        EXPECT_EQ(c.exitCode, RunAndReadMessageBox(Launcher(), L"OrvalisOpen.exe", L"OrvalisOpen",
                                                   &seen, &found, Environment(c.result)))
            << Utf8(c.variant);
        EXPECT_FALSE(found) << Utf8(c.variant);
    }
}

// Every way of finding nothing ends in the same box and -1.
TEST_F(OrvalisOpenTest, NothingFoundShowsTheMessageAndEndsWithMinusOne)
{
    enum Setup
    {
        NoKey,
        EmptyKey,
        ZeroVersion,
        NothingUsable,
    };
    for (Setup setup : {NoKey, EmptyKey, ZeroVersion, NothingUsable})
    {
        Installations players;
        std::vector<std::wstring> env = Environment();
        switch (setup)
        {
        case NoKey: break;
        case EmptyKey: players.CreateEmptyKey(); break;
        case ZeroVersion: players.Add(L"zero", L"host-0.0"); break;
        case NothingUsable:
        {
            std::wstring newer = players.Scratch() + L"\\newer";
            CopyInto(FixtureHost(L"host-3.10"), newer + L"\\Player\\OrvalisHost.dll");
            WriteBytes(newer + L"\\app.exe", "x");
            env.push_back(L"ORVALIS_NEWER=" + newer);
            players.Register(L"%ORVALIS_NEWER%\\app.exe");
            players.Register(newer + L"\\missing.exe");
            players.Register(newer + L"\\");
            players.Register(L"app.exe");
            players.Add(L"nohost", L"");
            players.Add(L"noversion", L"host-noversion");
            break;
        }
        }
        bool found = false;
        MessageBoxSeen seen;
        EXPECT_EQ(0xFFFFFFFFu, RunAndReadMessageBox(Launcher(), L"OrvalisOpen.exe", L"OrvalisOpen",
                                                    &seen, &found, env))
            << setup;
        ASSERT_TRUE(found) << setup;
        SCOPED_TRACE(setup);
        ExpectErrorBox(seen, L"OrvalisOpen", L"Player\\OrvalisHost.dll cannot be found.");
    }
}

TEST_F(OrvalisOpenTest, ChosenHostThatFailsToLoadShowsTheMessageAndNoOtherIsTried)
{
    players_.Add(L"old", L"host-3.9");
    players_.Add(L"new", L"host-unloadable");
    bool found = false;
    MessageBoxSeen seen;
    EXPECT_EQ(0xFFFFFFFFu, RunAndReadMessageBox(Launcher(), L"OrvalisOpen.exe", L"OrvalisOpen",
                                                &seen, &found, Environment()));
    ASSERT_TRUE(found);
    ExpectErrorBox(seen, L"OrvalisOpen", L"Player\\OrvalisHost.dll cannot be opened.");
    EXPECT_TRUE(Received().empty());
}
