#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DataFolder.h"
#include "GuardedPathBuffer.h"
#include "Seam.h"
#include "TestSupport.h"

namespace
{

const WCHAR UserKey[] = L"Environment";
const WCHAR MachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const WCHAR Variable[] = L"TIDEWELLDATA";
const WCHAR ScratchKey[] = L"Software\\HarnfoldDataFolderTest";
const WCHAR UserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const WCHAR ShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const WCHAR CommonDocuments[] = L"Common Documents";
const HRESULT BufferOverflow = static_cast<HRESULT>(0x8007006F);
const WCHAR Sentinel = 0xCCCC;

// A path of exactly `units` units: "C:\" and then letters.
std::wstring LongPath(size_t units) { return L"C:\\" + std::wstring(units - 3, L'd'); }

// A registry value exactly as stored: its type (0: no value) and its bytes.
struct Stored
{
    DWORD type;
    std::wstring data;  // what `bytes` is cut from
    DWORD bytes;
};

Stored None() { return Stored{0, L"", 0}; }

Stored Text(DWORD type, const std::wstring& text)
{
    return Stored{type, text + L'\0', static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))};
}

Stored Bytes(DWORD type, const std::wstring& data, DWORD bytes)
{
    return Stored{type, data, bytes};
}

void DeleteValue(HKEY root, const WCHAR* key, const WCHAR* name)
{
    HKEY k;
    if (RegOpenKeyExW(root, key, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(k, name);
    RegCloseKey(k);
}

DWORD StoredSize(HKEY root, const WCHAR* key, const WCHAR* name)
{
    HKEY k;
    DWORD bytes = 0xFFFFFFFF;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return bytes;
    if (RegQueryValueExW(k, name, NULL, NULL, NULL, &bytes) != ERROR_SUCCESS)
        bytes = 0xFFFFFFFF;
    RegCloseKey(k);
    return bytes;
}

// Stores the value byte for byte. The registry adds a terminator that a
// caller seems to have forgotten, looking one unit either side of the data,
// so the data is padded to keep it from doing that.
void Store(HKEY root, const WCHAR* key, const WCHAR* name, const Stored& value)
{
    DeleteValue(root, key, name);
    if (value.type == 0)
        return;
    std::wstring padded = L'\0' + value.data + L'Z';
    ASSERT_TRUE(SetRawValue(root, key, name, value.type, padded.c_str() + 1, value.bytes));
    ASSERT_EQ(value.bytes, StoredSize(root, key, name));
}

std::wstring SharedDocuments()
{
    WCHAR path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, CSIDL_COMMON_DOCUMENTS | CSIDL_FLAG_CREATE, NULL, 0, path)))
        return L"";
    return path;
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A guarded path buffer with a decoy path in it: a path taken from a buffer
// that was never filled shows too.
struct GuardedPath : GuardedPathBuffer
{
    GuardedPath() : GuardedPathBuffer(Sentinel) { Place(L"C:\\Decoy"); }
    explicit GuardedPath(const std::wstring& path) : GuardedPath() { Place(path); }
};

void ExpectNothingOutstanding(const char* what)
{
    EXPECT_TRUE(SeamNothingOutstanding()) << what << ": " << SeamDescribeOutstanding();
}

// The user's and the machine's environment keys, in the order they are read.
void ExpectEnvironmentOpens(size_t opens, const char* what)
{
    const std::vector<SeamRegOpen>& seen = SeamRegOpens();
    ASSERT_EQ(opens, seen.size()) << what;
    if (opens > 0)
    {
        EXPECT_EQ(HKEY_CURRENT_USER, seen[0].root) << what;
        EXPECT_EQ(UserKey, seen[0].subKey) << what;
        EXPECT_EQ(static_cast<REGSAM>(0x20019), seen[0].access) << what;
    }
    if (opens > 1)
    {
        EXPECT_EQ(HKEY_LOCAL_MACHINE, seen[1].root) << what;
        EXPECT_EQ(MachineKey, seen[1].subKey) << what;
        EXPECT_EQ(static_cast<REGSAM>(0x20019), seen[1].access) << what;
    }
}

class DataFolder : public testing::Test
{
protected:
    void SetUp() override
    {
        ClearVariable();
        SetEnvironmentVariableW(L"TIDEWELL_TEST_BASE", L"C:\\Base");
        SetEnvironmentVariableW(L"TIDEWELL_TEST_RELATIVE", L"Base");
        SetEnvironmentVariableW(L"TIDEWELL_TEST_FITS", LongPath(259).c_str());
        SetEnvironmentVariableW(L"TIDEWELL_TEST_LONG", LongPath(260).c_str());
        shared = SharedDocuments();
        ASSERT_FALSE(shared.empty());
        fallback = shared + L"\\CBM Files";
        fallbackExisted = GetFileAttributesW(fallback.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void TearDown() override
    {
        ClearVariable();
        SetEnvironmentVariableW(L"TIDEWELL_TEST_BASE", NULL);
        SetEnvironmentVariableW(L"TIDEWELL_TEST_RELATIVE", NULL);
        SetEnvironmentVariableW(L"TIDEWELL_TEST_FITS", NULL);
        SetEnvironmentVariableW(L"TIDEWELL_TEST_LONG", NULL);
        if (!fallbackExisted)
            RemoveDirectoryW(fallback.c_str());
    }

    static void ClearVariable()
    {
        DeleteValue(HKEY_CURRENT_USER, UserKey, Variable);
        DeleteValue(HKEY_LOCAL_MACHINE, MachineKey, Variable);
        SetEnvironmentVariableW(Variable, NULL);
    }

    static void Configure(const Stored& user, const Stored& machine, const WCHAR* process)
    {
        Store(HKEY_CURRENT_USER, UserKey, Variable, user);
        Store(HKEY_LOCAL_MACHINE, MachineKey, Variable, machine);
        SetEnvironmentVariableW(Variable, process);
    }

    std::wstring shared;
    std::wstring fallback;
    bool fallbackExisted = false;
};

TEST_F(DataFolder, VariableComesFromTheUserThenTheMachineThenTheProcess)
{
    const std::wstring fits = LongPath(259);
    const std::wstring tooLong = LongPath(260);
    const std::wstring fitsWithOddByte = fits + L'\0' + L'Z';
    struct Case
    {
        const char* what;
        Stored user;
        Stored machine;
        const WCHAR* process;  // TIDEWELLDATA of the process; null: unset
        DWORD count;           // of the expansion
        bool fallback;         // the value is not used
        std::wstring path;     // the data folder when it is
        size_t opens;
    };
    const Stored machine = Text(REG_SZ, L"C:\\Data\\Machine");
    const Case cases[] = {
        {"user value first", Text(REG_SZ, L"C:\\Data\\User"), machine, L"C:\\Data\\Process", 13,
         false, L"C:\\Data\\User", 1},
        {"machine value next", None(), machine, L"C:\\Data\\Process", 16, false,
         L"C:\\Data\\Machine", 2},
        {"process environment last", None(), None(), L"C:\\Data\\Process", 16, false,
         L"C:\\Data\\Process", 2},
        {"no variable anywhere", None(), None(), nullptr, 15, true, L"", 2},
        {"user REG_EXPAND_SZ expanded, machine not read",
         Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub"), machine, nullptr, 12, false,
         L"C:\\Base\\Sub", 1},
        {"machine REG_EXPAND_SZ expanded", None(), Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\M"),
         nullptr, 10, false, L"C:\\Base\\M", 2},
        {"REG_SZ without data is absent", Bytes(REG_SZ, L"", 0), machine, nullptr, 16, false,
         L"C:\\Data\\Machine", 2},
        {"REG_SZ of one byte is absent", Bytes(REG_SZ, L"C", 1), machine, nullptr, 16, false,
         L"C:\\Data\\Machine", 2},
        // The empty path is not fully qualified: the machine value is not
        // read in its place, the shared folder is used.
        {"REG_SZ of its terminator only is the empty path, not used", Text(REG_SZ, L""), machine,
         nullptr, 1, true, L"", 1},
        {"REG_SZ of the current folder is not used", Text(REG_SZ, L"."), machine, nullptr, 2, true,
         L"", 1},
        {"REG_SZ of a drive alone is not used", Text(REG_SZ, L"C:"), machine, nullptr, 3, true, L"",
         1},
        {"REG_SZ relative to a drive's folder is not used", Text(REG_SZ, L"C:Data"), machine,
         nullptr, 7, true, L"", 1},
        {"REG_SZ relative to the current drive is not used", Text(REG_SZ, L"\\Data"), machine,
         nullptr, 6, true, L"", 1},
        {"REG_SZ relative to the current folder is not used", Text(REG_SZ, L"Data\\Sub"), machine,
         nullptr, 9, true, L"", 1},
        {"REG_EXPAND_SZ expanding to a relative path is not used",
         Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_RELATIVE%\\Sub"), machine, nullptr, 9, true, L"", 1},
        {"process value relative is not used", None(), None(), L".\\Data", 7, true, L"", 2},
        {"REG_SZ of a share is used", Text(REG_SZ, L"\\\\server\\share\\Data"), machine, nullptr,
         20, false, L"\\\\server\\share\\Data", 1},
        {"REG_SZ of a long path is used", Text(REG_SZ, L"\\\\?\\C:\\Data"), machine, nullptr, 12,
         false, L"\\\\?\\C:\\Data", 1},
        {"REG_SZ without terminator loses its last unit", Bytes(REG_SZ, L"C:\\Abc", 12), machine,
         nullptr, 6, false, L"C:\\Ab", 1},
        {"REG_SZ of odd size", Bytes(REG_SZ, std::wstring(L"C:\\Odd\0Z", 8), 15), machine, nullptr,
         7, false, L"C:\\Odd", 1},
        {"REG_SZ of 259 units and terminator fits", Text(REG_SZ, fits), machine, nullptr, 260,
         false, fits, 1},
        {"REG_SZ of 260 units is too long", Text(REG_SZ, tooLong), machine, nullptr, 261, true, L"",
         1},
        {"REG_SZ whose odd byte would pass the buffer", Bytes(REG_SZ, fitsWithOddByte, 521),
         machine, nullptr, 261, true, L"", 1},
        {"REG_SZ naming another variable", Text(REG_SZ, L"%TIDEWELL_TEST_BASE%\\Sub"), machine,
         nullptr, 25, true, L"", 1},
        {"REG_DWORD is absent", Bytes(REG_DWORD, L"\x0041\x0042", 4), machine, nullptr, 16, false,
         L"C:\\Data\\Machine", 2},
        {"REG_MULTI_SZ is absent", Text(REG_MULTI_SZ, std::wstring(L"C:\\Multi\0", 9)), machine,
         nullptr, 16, false, L"C:\\Data\\Machine", 2},
        {"REG_BINARY is absent", Text(REG_BINARY, L"C:\\Binary"), None(), L"C:\\Data\\Process", 16,
         false, L"C:\\Data\\Process", 2},
        {"REG_EXPAND_SZ without data is absent", Bytes(REG_EXPAND_SZ, L"", 0), machine, nullptr, 16,
         false, L"C:\\Data\\Machine", 2},
        {"REG_EXPAND_SZ of one byte is absent", Bytes(REG_EXPAND_SZ, L"C", 1), None(),
         L"C:\\Data\\Process", 16, false, L"C:\\Data\\Process", 2},
        {"REG_EXPAND_SZ without terminator keeps its text", Bytes(REG_EXPAND_SZ, L"C:\\Exp", 12),
         machine, nullptr, 7, false, L"C:\\Exp", 1},
        {"REG_EXPAND_SZ of odd size", Bytes(REG_EXPAND_SZ, std::wstring(L"C:\\Exp\0Z", 8), 15),
         machine, nullptr, 7, false, L"C:\\Exp", 1},
        {"REG_EXPAND_SZ naming an unset variable", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_UNSET%\\x"),
         machine, nullptr, 24, true, L"", 1},
        {"REG_EXPAND_SZ expanding to 259 units fits", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_FITS%"),
         machine, nullptr, 260, false, fits, 1},
        {"REG_EXPAND_SZ expanding past the buffer", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_LONG%"),
         machine, nullptr, 261, true, L"", 1},
        {"process value naming another variable", None(), None(), L"%TIDEWELL_TEST_BASE%", 21, true,
         L"", 2},
        {"process value of 259 units fits", None(), None(), fits.c_str(), 260, false, fits, 2},
        {"process value of 260 units is too long", None(), None(), tooLong.c_str(), 261, true, L"",
         2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Configure(c.user, c.machine, c.process);

        SeamReset();
        GuardedPath expanded;
        EXPECT_EQ(c.count, ExpandDataFolderTemplate(expanded.path()));
        EXPECT_TRUE(expanded.GuardIntact());
        if (!c.fallback)
        {
            EXPECT_EQ(c.path, expanded.path());
        }
        ExpectEnvironmentOpens(c.opens, c.what);
        ExpectNothingOutstanding(c.what);

        SeamReset();
        GuardedPath resolved;
        EXPECT_EQ(S_OK, ResolveDataFolder(resolved.path()));
        EXPECT_TRUE(resolved.GuardIntact());
        if (c.fallback)
        {
            EXPECT_EQ(fallback, resolved.path());
            EXPECT_TRUE(IsFolder(fallback));
        }
        else
        {
            // Used as it stands: nothing appended, nothing created.
            EXPECT_EQ(c.path, resolved.path());
            EXPECT_FALSE(FileExists(c.path));
        }
        ExpectNothingOutstanding(c.what);
    }
}

TEST_F(DataFolder, FailedSourcesCountAsAbsent)
{
    struct Case
    {
        const char* what;
        void (*arm)();
        Stored user;
        const WCHAR* process;
        const WCHAR* path;  // null: the shared documents folder
        size_t opens;
    };
    const Stored plain = Text(REG_SZ, L"C:\\Data\\User");
    const Stored expandable = Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub");
    const Case cases[] = {
        {"user key can't be opened", [] { SeamFailRegOpen(UserKey, ERROR_ACCESS_DENIED); }, plain,
         L"C:\\Data\\Process", L"C:\\Data\\Machine", 2},
        {"neither key can be opened",
         [] {
             SeamFailRegOpen(UserKey, ERROR_ACCESS_DENIED);
             SeamFailRegOpen(MachineKey, ERROR_ACCESS_DENIED);
         },
         plain, L"C:\\Data\\Process", L"C:\\Data\\Process", 2},
        {"no block for the name: registry not read", [] { SeamFailCall(SeamCallLocalAlloc, 1); },
         plain, L"C:\\Data\\Process", L"C:\\Data\\Process", 0},
        {"no block for the REG_EXPAND_SZ data", [] { SeamFailCall(SeamCallLocalAlloc, 2); },
         expandable, L"C:\\Data\\Process", L"C:\\Data\\Machine", 2},
        {"expansion of the user value fails",
         [] { SeamFailCall(SeamCallExpandEnvironmentStringsW, 1); }, expandable,
         L"C:\\Data\\Process", L"C:\\Data\\Machine", 2},
        {"expansion of the process environment fails",
         [] { SeamFailCall(SeamCallExpandEnvironmentStringsW, 1); }, None(), L"C:\\Data\\Process",
         nullptr, 2},
    };
    const Stored machine = Text(REG_SZ, L"C:\\Data\\Machine");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        // Without a machine value the process environment decides.
        bool machineUsed = c.path != nullptr && std::wstring(c.path) == L"C:\\Data\\Machine";
        Configure(c.user, machineUsed ? machine : None(), c.process);
        SeamReset();
        c.arm();
        GuardedPath resolved;
        EXPECT_EQ(S_OK, ResolveDataFolder(resolved.path()));
        EXPECT_EQ(c.path != nullptr ? std::wstring(c.path) : fallback, resolved.path());
        EXPECT_TRUE(resolved.GuardIntact());
        ExpectEnvironmentOpens(c.opens, c.what);
        ExpectNothingOutstanding(c.what);
    }
}

TEST_F(DataFolder, BlocksHoldTheNameAndTwiceTheData)
{
    Configure(Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub"), None(), nullptr);
    GuardedPath resolved;
    EXPECT_EQ(S_OK, ResolveDataFolder(resolved.path()));
    EXPECT_STREQ(L"C:\\Base\\Sub", resolved.path());
    std::vector<SIZE_T> expected = {sizeof(L"TIDEWELLDATA"),
                                    2 * sizeof(L"%TIDEWELL_TEST_BASE%\\Sub")};
    EXPECT_EQ(expected, SeamLocalAllocRequests());
}

TEST_F(DataFolder, TemplatesKeepTheirTextAndNeverWritePastTheBuffer)
{
    struct Case
    {
        const char* what;
        std::wstring pathTemplate;
        Stored user;
        DWORD count;
        const WCHAR* text;  // null: the buffer holds nothing usable
        size_t opens;
    };
    const Stored mid = Text(REG_SZ, L"Mid");
    const Stored expandable = Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub");
    const std::wstring token = L"%TIDEWELLDATA%";
    const Case cases[] = {
        {"text around a token", L"C:\\Pre\\%TIDEWELLDATA%\\Post", mid, 16, L"C:\\Pre\\Mid\\Post",
         1},
        {"a '%' that nothing closes is text", L"C:\\Pre\\%TIDEWELLDATA", mid, 21,
         L"C:\\Pre\\%TIDEWELLDATA", 0},
        {"an empty name reads no value", L"C:\\%%", mid, 6, L"C:\\%%", 0},
        {"text past the buffer is only counted", std::wstring(300, L'x'), mid, 301, nullptr, 0},
        {"a value past the buffer", LongPath(255) + token, Text(REG_SZ, L"C:\\Data\\User"), 268,
         nullptr, 1},
        {"an expansion past the buffer", LongPath(255) + token, expandable, 267, nullptr, 1},
        {"an expansion after a full buffer", LongPath(260) + token, expandable, 272, nullptr, 1},
        {"a value after a full buffer", LongPath(261) + token, mid, 265, nullptr, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Configure(c.user, None(), nullptr);
        SeamReset();
        GuardedPath expanded;
        EXPECT_EQ(c.count, ExpandPathTemplate(c.pathTemplate.c_str(), expanded.path()));
        EXPECT_TRUE(expanded.GuardIntact());
        if (c.text != nullptr)
        {
            EXPECT_STREQ(c.text, expanded.path());
        }
        EXPECT_EQ(c.opens, SeamRegOpens().size());
        ExpectNothingOutstanding(c.what);
    }
}

TEST_F(DataFolder, ValuesAreReadOnlyIntoTheSpaceGiven)
{
    struct Case
    {
        const char* what;
        Stored value;
        int space;
        DWORD count;
        const WCHAR* text;  // null: not looked at within the space
        bool untouched;     // nothing written at all
    };
    const Stored sz = Text(REG_SZ, L"C:\\x");
    const Stored oddSz = Bytes(REG_SZ, std::wstring(L"C:\\x\0Z", 6), 11);
    const Stored expandable = Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\x");
    const Case cases[] = {
        {"REG_SZ with room", sz, 10, 5, L"C:\\x", false},
        {"REG_SZ filling the space", sz, 5, 5, L"C:\\x", false},
        {"REG_SZ one unit too long", sz, 4, 5, nullptr, true},
        {"REG_SZ with no space", sz, 0, 5, nullptr, true},
        {"REG_SZ with negative space", sz, -1, 5, nullptr, true},
        {"odd REG_SZ whose last byte has no room", oddSz, 5, 6, nullptr, true},
        {"odd REG_SZ with room", oddSz, 6, 5, L"C:\\x", false},
        {"REG_SZ without terminator", Bytes(REG_SZ, L"C:\\xy", 10), 5, 5, L"C:\\x", false},
        {"REG_SZ of its terminator only", Text(REG_SZ, L""), 1, 1, L"", false},
        {"REG_SZ without data", Bytes(REG_SZ, L"", 0), 5, 0, nullptr, true},
        {"REG_SZ of one byte", Bytes(REG_SZ, L"C", 1), 5, 0, nullptr, true},
        {"REG_EXPAND_SZ with room", expandable, 20, 10, L"C:\\Base\\x", false},
        {"REG_EXPAND_SZ too long", expandable, 4, 10, nullptr, false},
        {"REG_EXPAND_SZ with no space", expandable, 0, 10, nullptr, true},
        {"REG_EXPAND_SZ with negative space", expandable, -5, 10, nullptr, true},
        {"REG_EXPAND_SZ without data", Bytes(REG_EXPAND_SZ, L"", 0), 5, 0, nullptr, true},
        {"REG_EXPAND_SZ of one byte", Bytes(REG_EXPAND_SZ, L"C", 1), 5, 0, nullptr, true},
        {"REG_EXPAND_SZ without terminator", Bytes(REG_EXPAND_SZ, L"C:\\xy", 10), 20, 6, L"C:\\xy",
         false},
        {"odd REG_EXPAND_SZ", Bytes(REG_EXPAND_SZ, std::wstring(L"C:\\x\0Z", 6), 11), 20, 5,
         L"C:\\x", false},
        {"REG_MULTI_SZ", Text(REG_MULTI_SZ, std::wstring(L"C:\\x\0", 5)), 20, 0, nullptr, true},
        {"REG_DWORD", Bytes(REG_DWORD, L"\x0041\x0042", 4), 20, 0, nullptr, true},
        {"REG_NONE", Text(REG_NONE, L"C:\\x"), 20, 0, nullptr, true},
        {"no value", None(), 20, 0, nullptr, true},
    };
    const int area = 64;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Store(HKEY_CURRENT_USER, ScratchKey, L"Value", c.value);
        SeamReset();
        WCHAR destination[area];
        std::fill(destination, destination + area, Sentinel);
        EXPECT_EQ(c.count, ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value",
                                                destination, c.space));
        int from = c.untouched ? 0 : std::max(c.space, 0);
        for (int i = from; i < area; ++i)
            ASSERT_EQ(Sentinel, destination[i]) << "unit " << i;
        if (c.text != nullptr)
        {
            EXPECT_STREQ(c.text, destination);
        }
        ASSERT_EQ(1u, SeamRegOpens().size());
        EXPECT_EQ(static_cast<REGSAM>(KEY_READ), SeamRegOpens()[0].access);
        ExpectNothingOutstanding(c.what);
    }
    DeleteTree(HKEY_CURRENT_USER, ScratchKey);
    WCHAR destination[8];
    EXPECT_EQ(0u, ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value", destination, 8));
}

// The value changes between the query of its size and type and the read of
// its data (another process writes it): what the read reports decides. A
// value that grew or took another type is sized again.
TEST_F(DataFolder, AValueThatChangesBetweenTheTwoReadsIsTakenAsReadTheSecondTime)
{
    struct Case
    {
        const char* what;
        Stored before;
        Stored after;  // type 0: deleted
        DWORD count;
        const WCHAR* text;  // null: not looked at
        int queries;        // RegQueryValueExW calls made
    };
    const Case cases[] = {
        {"REG_SZ shrinks", Text(REG_SZ, L"C:\\Data\\Longer"), Text(REG_SZ, L"C:\\New"), 7,
         L"C:\\New", 2},
        {"REG_SZ shrinks, without terminator", Text(REG_SZ, L"C:\\Data\\Longer"),
         Bytes(REG_SZ, L"C:\\Newer", 14), 7, L"C:\\New", 2},
        {"REG_SZ grows", Text(REG_SZ, L"C:\\A"), Text(REG_SZ, L"C:\\Data\\Grown"), 14,
         L"C:\\Data\\Grown", 4},
        {"REG_SZ grows past the space", Text(REG_SZ, L"C:\\A"), Text(REG_SZ, LongPath(40)), 41,
         nullptr, 3},
        {"REG_SZ becomes REG_DWORD", Text(REG_SZ, L"C:\\Data"),
         Bytes(REG_DWORD, L"\x0041\x0042", 4), 0, nullptr, 3},
        {"REG_SZ becomes REG_EXPAND_SZ", Text(REG_SZ, L"C:\\Data\\Plain"),
         Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub"), 12, L"C:\\Base\\Sub", 4},
        {"REG_SZ deleted", Text(REG_SZ, L"C:\\Data"), None(), 0, nullptr, 2},
        {"REG_EXPAND_SZ shrinks, without terminator",
         Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Longer"), Bytes(REG_EXPAND_SZ, L"C:\\E", 8), 5,
         L"C:\\E", 2},
        {"REG_EXPAND_SZ grows", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%"),
         Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Much\\Longer"), 20, L"C:\\Base\\Much\\Longer",
         4},
        {"REG_EXPAND_SZ becomes REG_SZ", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub"),
         Text(REG_SZ, L"%TIDEWELL_TEST_BASE%"), 21, L"%TIDEWELL_TEST_BASE%", 4},
        {"REG_EXPAND_SZ deleted", Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%"), None(), 0, nullptr,
         2},
    };
    const int area = 64;
    const int space = 30;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Store(HKEY_CURRENT_USER, ScratchKey, L"Value", c.before);
        SeamReset();
        const Stored after = c.after;
        SeamBeforeCall(SeamCallRegQueryValueExW, 2,
                       [after] { Store(HKEY_CURRENT_USER, ScratchKey, L"Value", after); });
        WCHAR destination[area];
        std::fill(destination, destination + area, Sentinel);
        EXPECT_EQ(c.count, ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value",
                                                destination, space));
        for (int i = space; i < area; ++i)
            ASSERT_EQ(Sentinel, destination[i]) << "unit " << i;
        if (c.text != nullptr)
        {
            EXPECT_STREQ(c.text, destination);
        }
        EXPECT_EQ(c.queries, SeamCallsMade(SeamCallRegQueryValueExW));
        ExpectNothingOutstanding(c.what);
    }

    // ERROR_MORE_DATA from the read itself: the value is sized and read again.
    for (const Stored& value :
         {Text(REG_SZ, L"C:\\Base\\Sub"), Text(REG_EXPAND_SZ, L"%TIDEWELL_TEST_BASE%\\Sub")})
    {
        Store(HKEY_CURRENT_USER, ScratchKey, L"Value", value);
        SeamReset();
        SeamFailCall(SeamCallRegQueryValueExW, 2, 1, ERROR_MORE_DATA);
        WCHAR destination[area];
        EXPECT_EQ(
            12u, ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value", destination, space));
        EXPECT_STREQ(L"C:\\Base\\Sub", destination);
        EXPECT_EQ(4, SeamCallsMade(SeamCallRegQueryValueExW));
        ExpectNothingOutstanding("more data");
    }
    // Any other failure of either query: the value is absent.
    for (int nth : {1, 2})
    {
        Store(HKEY_CURRENT_USER, ScratchKey, L"Value", Text(REG_SZ, L"C:\\Data"));
        SeamReset();
        SeamFailCall(SeamCallRegQueryValueExW, nth, 1, ERROR_ACCESS_DENIED);
        WCHAR destination[area];
        EXPECT_EQ(0u,
                  ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value", destination, space))
            << nth;
        ExpectNothingOutstanding("access denied");
    }
    DeleteTree(HKEY_CURRENT_USER, ScratchKey);
}

// The limit of the re-reads: a value that grows before each of its first two
// reads is read on the third attempt; one that grows before each of three
// reads counts as absent, after exactly three attempts of two queries each.
TEST_F(DataFolder, AValueThatKeepsChangingIsReadAtMostThreeTimes)
{
    struct Case
    {
        const char* what;
        int changes;
        DWORD count;
        const WCHAR* text;  // null: absent
    };
    const Case cases[] = {
        {"changes twice", 2, 15, L"C:\\Data1\\Data2"},
        {"changes three times", 3, 0, nullptr},
    };
    const Stored grown[] = {Text(REG_SZ, L"C:\\Data1"), Text(REG_SZ, L"C:\\Data1\\Data2"),
                            Text(REG_SZ, L"C:\\Data1\\Data2\\Data3")};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Store(HKEY_CURRENT_USER, ScratchKey, L"Value", Text(REG_SZ, L"C:\\A"));
        SeamReset();
        // Each change arms the next one, before the read of the next attempt.
        int made = 0;
        std::function<void()> change = [&] {
            Store(HKEY_CURRENT_USER, ScratchKey, L"Value", grown[made]);
            if (++made < c.changes)
                SeamBeforeCall(SeamCallRegQueryValueExW, 2 * (made + 1), change);
        };
        SeamBeforeCall(SeamCallRegQueryValueExW, 2, change);
        WCHAR destination[30];
        EXPECT_EQ(c.count,
                  ReadEnvironmentValue(HKEY_CURRENT_USER, ScratchKey, L"Value", destination, 30));
        if (c.text != nullptr)
        {
            EXPECT_STREQ(c.text, destination);
        }
        EXPECT_EQ(c.changes, made);
        EXPECT_EQ(6, SeamCallsMade(SeamCallRegQueryValueExW));
        ExpectNothingOutstanding(c.what);
    }
    DeleteTree(HKEY_CURRENT_USER, ScratchKey);
}

TEST_F(DataFolder, SharedFolderIsMadeOnlyWhenNothingHasItsName)
{
    ASSERT_FALSE(fallbackExisted);
    enum Existing
    {
        Nothing,
        Folder,
        File
    };
    for (Existing existing : {Nothing, Folder, File})
    {
        SCOPED_TRACE(existing);
        if (existing == Folder)
        {
            ASSERT_TRUE(CreateDirectoryW(fallback.c_str(), NULL));
        }
        if (existing == File)
        {
            ASSERT_TRUE(WriteBytes(fallback, "keep"));
        }
        SeamReset();
        GuardedPath located;
        EXPECT_EQ(S_OK, LocateSharedDataFolder(located.path()));
        EXPECT_EQ(fallback, located.path());
        EXPECT_TRUE(located.GuardIntact());
        if (existing == File)
        {
            std::string bytes;
            EXPECT_FALSE(IsFolder(fallback));
            EXPECT_TRUE(ReadBytes(fallback, &bytes));
            EXPECT_EQ("keep", bytes);
            DeleteFileW(fallback.c_str());
        }
        else
        {
            EXPECT_TRUE(IsFolder(fallback));
            RemoveDirectoryW(fallback.c_str());
        }
        // Asked through the shell alone, its item list given back.
        EXPECT_TRUE(SeamLoadedNames().empty());
        EXPECT_EQ(1, SeamCallsMade(SeamCallSHGetSpecialFolderLocation));
        EXPECT_EQ(1, SeamCallsMade(SeamCallSHGetMalloc));
    }
}

TEST_F(DataFolder, ShfolderGivesWhatTheShellGives)
{
    for (int csidl : {0x802E, 0x002E})
    {
        SCOPED_TRACE(csidl);
        SeamReset();
        GuardedPath viaShell;
        EXPECT_TRUE(GetShellFolderPath(csidl, viaShell.path()));
        EXPECT_EQ(shared, viaShell.path());
        EXPECT_TRUE(SeamLoadedNames().empty());

        SeamReset();
        SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
        GuardedPath viaShfolder;
        EXPECT_TRUE(GetShellFolderPath(csidl, viaShfolder.path()));
        EXPECT_EQ(shared, viaShfolder.path());
        EXPECT_EQ(std::vector<std::wstring>{L"shfolder.dll"}, SeamLoadedNames());
        ExpectNothingOutstanding("shfolder");
    }

    // Without the shell's allocator the list can't be given back, but the path stands.
    SeamReset();
    SeamFailCall(SeamCallSHGetMalloc, 1);
    GuardedPath withoutAllocator;
    EXPECT_TRUE(GetShellFolderPath(0x802E, withoutAllocator.path()));
    EXPECT_EQ(shared, withoutAllocator.path());
    EXPECT_TRUE(SeamLoadedNames().empty());

    SeamReset();
    SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
    GuardedPath resolved;
    EXPECT_EQ(S_OK, ResolveDataFolder(resolved.path()));
    EXPECT_EQ(fallback, resolved.path());
    EXPECT_TRUE(IsFolder(fallback));
}

TEST_F(DataFolder, PlainLookupFollowsAFailedCreatingLookup)
{
    SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, 2);
    SeamFailCall(SeamCallGetProcAddress, 1);
    GuardedPath located;
    EXPECT_EQ(S_OK, LocateSharedDataFolder(located.path()));
    EXPECT_EQ(fallback, located.path());
    EXPECT_EQ(2, SeamCallsMade(SeamCallSHGetSpecialFolderLocation));
    EXPECT_EQ(2u, SeamLoadedNames().size());
}

TEST_F(DataFolder, WithoutShellOrShfolderThereIsNoFolder)
{
    struct Case
    {
        const char* what;
        void (*arm)();
    };
    const Case cases[] = {
        {"shfolder.dll missing", [] { SeamFailLoadLibrary(L"shfolder.dll"); }},
        {"SHGetFolderPathW missing", [] { SeamFailProcAddress("SHGetFolderPathW"); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SeamReset();
        SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
        c.arm();
        GuardedPath path;
        EXPECT_FALSE(GetShellFolderPath(0x002E, path.path()));
        EXPECT_EQ(E_FAIL, LocateSharedDataFolder(path.path()));
        EXPECT_EQ(E_FAIL, ResolveDataFolder(path.path()));
        EXPECT_TRUE(path.GuardIntact());
        // Bound anew, and given back, for every lookup.
        EXPECT_EQ(5u, SeamLoadedNames().size());
        ExpectNothingOutstanding(c.what);
    }
    EXPECT_FALSE(IsFolder(fallback));
}

TEST_F(DataFolder, NameIsAppendedToPathsShorterThan250Units)
{
    struct Case
    {
        std::wstring path;
        bool appended;
        std::wstring result;
    };
    const Case cases[] = {
        {L"C:\\Docs", true, L"C:\\Docs\\CBM Files"},
        {L"C:\\", true, L"C:\\CBM Files"},
        {L"C:/Docs/", true, L"C:/Docs/CBM Files"},
        {LongPath(249), true, LongPath(249) + L"\\CBM Files"},
        {LongPath(248) + L"\\", true, LongPath(248) + L"\\CBM Files"},
        {LongPath(250), false, LongPath(250)},
        {LongPath(249) + L"\\", false, LongPath(249) + L"\\"},
        {LongPath(259), false, LongPath(259)},
        {L"", false, L""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Utf8(c.path));
        GuardedPath path(c.path);
        EXPECT_EQ(c.appended ? TRUE : FALSE, AppendDataFolderName(path.path()));
        EXPECT_EQ(c.result, path.path());
        EXPECT_TRUE(path.GuardIntact());
    }

    // A buffer without terminator is refused as it is.
    GuardedPath unterminated(LongPath(kPathUnits));
    EXPECT_FALSE(AppendDataFolderName(unterminated.path()));
    EXPECT_TRUE(std::equal(unterminated.units, unterminated.units + kPathUnits,
                           LongPath(kPathUnits).begin()));
    EXPECT_TRUE(unterminated.GuardIntact());
}

// The shared documents folder moved to a path of a chosen length, through
// the registry the shell reads it from; restored afterwards.
class MovedSharedDocuments : public DataFolder
{
protected:
    void SetUp() override
    {
        DataFolder::SetUp();
        Save(UserShellFolders, &savedUser);
        Save(ShellFolders, &savedShell);
        scratch = MakeScratchDir(L"shared-documents");
    }

    void TearDown() override
    {
        Restore(UserShellFolders, savedUser);
        Restore(ShellFolders, savedShell);
        RemoveTree(scratch);
        DataFolder::TearDown();
    }

    // A folder whose path has exactly `units` units, as the shared documents.
    std::wstring MoveTo(size_t units, const std::wstring& ending = L"")
    {
        std::wstring folder =
            scratch + L"\\" + std::wstring(units - scratch.size() - 1 - ending.size(), L's');
        CreateDirectoryW(folder.c_str(), NULL);
        folder += ending;
        SetStringValue(HKEY_LOCAL_MACHINE, UserShellFolders, CommonDocuments, folder,
                       REG_EXPAND_SZ);
        SetStringValue(HKEY_LOCAL_MACHINE, ShellFolders, CommonDocuments, folder, REG_SZ);
        return folder;
    }

    static void Save(const WCHAR* key, Stored* saved)
    {
        HKEY k;
        *saved = None();
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS)
            return;
        WCHAR data[1024] = {0};
        DWORD type = 0;
        DWORD bytes = sizeof(data) - sizeof(WCHAR);
        if (RegQueryValueExW(k, CommonDocuments, NULL, &type, reinterpret_cast<BYTE*>(data),
                             &bytes) == ERROR_SUCCESS)
            *saved = Bytes(type, std::wstring(data, (bytes + 1) / 2), bytes);
        RegCloseKey(k);
    }

    static void Restore(const WCHAR* key, const Stored& saved)
    {
        Store(HKEY_LOCAL_MACHINE, key, CommonDocuments, saved);
    }

    Stored savedUser;
    Stored savedShell;
    std::wstring scratch;
};

TEST_F(MovedSharedDocuments, PathsOf250UnitsOrMoreGetNoName)
{
    ASSERT_LT(scratch.size(), 200u);
    // The shell's item list drops a trailing backslash; shfolder.dll keeps it.
    struct Case
    {
        size_t units;
        std::wstring ending;
        bool viaShfolder;
        HRESULT status;
    };
    const Case cases[] = {
        {249, L"", false, S_OK},
        {250, L"", false, BufferOverflow},
        {249, L"\\", true, S_OK},
        {250, L"\\", true, BufferOverflow},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.units);
        SCOPED_TRACE(Utf8(c.ending));
        std::wstring folder = MoveTo(c.units, c.ending);
        ASSERT_EQ(folder, SharedDocuments());
        std::wstring named = folder + (c.ending.empty() ? L"\\" : L"") + L"CBM Files";

        SeamReset();
        if (c.viaShfolder)
            SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
        GuardedPath located;
        EXPECT_EQ(c.status, LocateSharedDataFolder(located.path()));
        EXPECT_TRUE(located.GuardIntact());
        // Refused: the buffer keeps the folder's path and nothing is made.
        EXPECT_EQ(c.status == S_OK ? named : folder, located.path());
        if (c.status != S_OK)
        {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(named.c_str()));
        }

        SeamReset();
        if (c.viaShfolder)
            SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
        GuardedPath resolved;
        EXPECT_EQ(c.status, ResolveDataFolder(resolved.path()));
        EXPECT_TRUE(resolved.GuardIntact());
        RemoveDirectoryW(named.c_str());
    }
}

}  // namespace

// What an observer changes is its createNothing field, not its presence: a
// missing shared documents folder is created for Install and for an observer
// that creates, and only found where it would be for one that does not.
TEST_F(MovedSharedDocuments, AnObserverCreatesNothingOnlyWhenItSaysSo)
{
    const std::wstring missing = scratch + L"\\Missing";
    SetStringValue(HKEY_LOCAL_MACHINE, UserShellFolders, CommonDocuments, missing, REG_EXPAND_SZ);
    SetStringValue(HKEY_LOCAL_MACHINE, ShellFolders, CommonDocuments, missing, REG_SZ);
    struct Case
    {
        const char* who;
        bool observed;
        bool createNothing;
    };
    const Case cases[] = {
        {"Install", false, false},
        {"an observer that creates", true, false},
        {"an observer that creates nothing", true, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.who);
        RemoveTree(missing);
        DataFolderObserver observer = {NULL, [](void*, DataFolderStep, DWORD, const WCHAR*) {},
                                       c.createNothing};
        GuardedPath located;
        EXPECT_EQ(S_OK, LocateSharedDataFolder(located.path(), c.observed ? &observer : NULL));
        EXPECT_EQ(missing + L"\\CBM Files", located.path());
        EXPECT_EQ(!c.createNothing, IsFolder(missing + L"\\CBM Files"));
        EXPECT_EQ(!c.createNothing, IsFolder(missing));
    }
    RemoveTree(missing);
}
