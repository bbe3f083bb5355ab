#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallRecord.h"
#include "Seam.h"
#include "TestSupport.h"

namespace
{

bool MachineKeyExists(const std::wstring& key)
{
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, key);
}

const WCHAR* const kKey = L"Software\\Quillon\\Harnfold";

class InstallRecordTest : public testing::Test
{
protected:
    void SetUp() override { DeleteTree(HKEY_LOCAL_MACHINE, kKey); }
    void TearDown() override { DeleteTree(HKEY_LOCAL_MACHINE, kKey); }
};

}  // namespace

// The install record's statuses are HRESULT_FROM_WIN32 of the registry's
// codes: it must keep 0 and below as they are and put the rest in the Win32
// facility.
TEST(HresultFromWin32, MapsPositiveCodesIntoTheWin32Facility)
{
    struct Case
    {
        LONG code;
        DWORD status;
    };
    const Case cases[] = {
        {0, 0},
        {ERROR_FILE_NOT_FOUND, 0x80070002},
        {ERROR_ACCESS_DENIED, 0x80070005},
        {0x12345, 0x80072345},
        {-5, static_cast<DWORD>(-5)},
        {static_cast<LONG>(0x80004005), 0x80004005},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.status, static_cast<DWORD>(HRESULT_FROM_WIN32(c.code))) << c.code;
}

TEST_F(InstallRecordTest, ReadTakesUpToFourBytesOfAnyType)
{
    struct Case
    {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;  // empty with type 0: no value at all
        bool ok;
        DWORD count;
    };
    const Case cases[] = {
        {"dword", REG_DWORD, {2, 0, 0, 0}, true, 2},
        {"largest dword", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, true, 4294967295u},
        {"one-character string \"5\"", REG_SZ, {'5', 0, 0, 0}, true, 53},
        {"single byte", REG_BINARY, {5}, true, 5},
        {"single byte, no type", REG_NONE, {5}, true, 5},
        {"two-character string", REG_SZ, {'5', 0, '5', 0, 0, 0}, false, 0},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"no value", 0, {}, false, 0},
    };
    for (const Case& c : cases)
    {
        DeleteTree(HKEY_LOCAL_MACHINE, kKey);
        if (c.type != 0 || !c.data.empty())
            ASSERT_TRUE(SetRawValue(HKEY_LOCAL_MACHINE, kKey, L"Count", c.type, c.data.data(),
                                    static_cast<DWORD>(c.data.size())));
        else
            ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"Other", L"x"));
        DWORD count = 0;
        LONG status = ReadInstallCount(&count);
        EXPECT_EQ(c.ok, status == 0) << c.what;
        EXPECT_EQ(c.ok, status >= 0) << c.what;
        if (c.ok)
        {
            EXPECT_EQ(c.count, count) << c.what;
        }
    }
    DeleteTree(HKEY_LOCAL_MACHINE, kKey);
    DWORD count = 0;
    EXPECT_EQ(static_cast<LONG>(0x80070002), ReadInstallCount(&count)) << "no key";
    ASSERT_FALSE(SeamRegOpens().empty());
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ), SeamRegOpens().back().access);
}

TEST_F(InstallRecordTest, WriteCreatesTheKeyAndStoresADword)
{
    ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"Count", L"5"));
    EXPECT_EQ(0, WriteInstallCount(54));
    DWORD type = 0, value = 0;
    ASSERT_TRUE(StoredCount(&type, &value));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(54u, value);
    ASSERT_EQ(1u, SeamRegOpens().size());
    EXPECT_EQ(static_cast<REGSAM>(KEY_WRITE), SeamRegOpens()[0].access);

    DeleteTree(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(0, WriteInstallCount(1));
    ASSERT_TRUE(StoredCount(&type, &value));
    EXPECT_EQ(1u, value);
}

TEST_F(InstallRecordTest, WriteReportsRefusedAccess)
{
    SeamFailCall(SeamCallRegCreateKeyExW, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<LONG>(0x80070005), WriteInstallCount(1));
    SeamFailCall(SeamCallRegSetValueExW, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<LONG>(0x80070005), WriteInstallCount(1));
    DWORD type, value;
    EXPECT_FALSE(StoredCount(&type, &value));
}

namespace
{

// Harnfold\{A\{B\{C}}, Locked\{D}, Z} with named and default values at every level.
void MakeNestedKey()
{
    const WCHAR* keys[] = {L"",         L"\\A",         L"\\A\\B", L"\\A\\B\\C",
                           L"\\Locked", L"\\Locked\\D", L"\\Z"};
    for (const WCHAR* k : keys)
    {
        std::wstring key = std::wstring(kKey) + k;
        ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, key, L"", L"default"));
        ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, key, L"Named value", L"v"));
    }
    DWORD count = 1;
    ASSERT_TRUE(SetRawValue(HKEY_LOCAL_MACHINE, kKey, L"Count", REG_DWORD, &count, 4));
}

}  // namespace

TEST_F(InstallRecordTest, DeletesTheWholeKeyAndKeepsItsParent)
{
    struct Case
    {
        const char* what;
        bool noAdvapiByName;
        bool noDeleteKeyEx;
    };
    const Case cases[] = {
        {"view-aware deletion", false, false},
        {"no RegDeleteKeyExW", false, true},
        {"Advapi32.dll not loadable by that name", true, false},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        MakeNestedKey();
        if (c.noAdvapiByName)
            SeamFailLoadLibrary(L"Advapi32.dll");
        if (c.noDeleteKeyEx)
            SeamFailProcAddress("RegDeleteKeyExW");
        EXPECT_TRUE(DeleteProductKey()) << c.what;
        EXPECT_FALSE(MachineKeyExists(kKey)) << c.what;
        EXPECT_TRUE(MachineKeyExists(L"Software\\Quillon")) << c.what;
        // Six subkeys and the key itself; the fallback takes every one of them.
        EXPECT_EQ(7, SeamCallsMade(SeamCallLoadLibraryW)) << c.what;
        EXPECT_EQ(c.noAdvapiByName || c.noDeleteKeyEx ? 7 : 0, SeamCallsMade(SeamCallRegDeleteKeyW))
            << c.what;
        for (const SeamRegOpen& open : SeamRegOpens())
            EXPECT_EQ(static_cast<REGSAM>(KEY_ALL_ACCESS), open.access) << c.what;
    }
}

TEST_F(InstallRecordTest, NothingToDeleteCountsAsDone)
{
    EXPECT_TRUE(DeleteProductKey());
    DeleteTree(HKEY_LOCAL_MACHINE, L"Software\\Quillon");
    EXPECT_TRUE(DeleteProductKey());
}

TEST_F(InstallRecordTest, ASubkeyThatCannotBeOpenedStopsTheDeletionThere)
{
    MakeNestedKey();
    SeamFailRegOpen(L"Locked", ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(DeleteProductKey());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    // Depth first, in enumeration order: A went, Locked and what follows stay.
    EXPECT_FALSE(MachineKeyExists(std::wstring(kKey) + L"\\A"));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\Locked\\D"));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\Z"));
    DWORD type, value;
    EXPECT_TRUE(StoredCount(&type, &value));
}

TEST_F(InstallRecordTest, EarlyFailuresLeaveEverythingAndTheLastErrorAlone)
{
    struct Case
    {
        const char* what;
        SeamCall call;
        DWORD lastError;  // what the failing call itself left
    };
    const Case cases[] = {
        {"key information", SeamCallRegQueryInfoKeyW, 12345},
        {"name buffer", SeamCallLocalAlloc, ERROR_OUTOFMEMORY},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        MakeNestedKey();
        SeamFailCall(c.call, 1, 1, ERROR_OUTOFMEMORY);
        SetLastError(12345);
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key));
        EXPECT_FALSE(DeleteKeyContents(key, 0)) << c.what;
        EXPECT_EQ(c.lastError, GetLastError()) << c.what;
        RegCloseKey(key);
        EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\A\\B\\C")) << c.what;
    }
}

TEST_F(InstallRecordTest, OpenFailureOtherThanMissingIsReported)
{
    MakeNestedKey();
    SeamFailCall(SeamCallRegOpenKeyExW, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteProductKey());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(MachineKeyExists(kKey));
}

TEST_F(InstallRecordTest, AFailedKeyDeletionIsReported)
{
    MakeNestedKey();
    SeamFailProcAddress("RegDeleteKeyExW");
    SeamFailCall(SeamCallRegDeleteKeyW, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteProductKey());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\A"));
}

namespace
{

// A key outside Software, so that both architectures' views agree on it.
const WCHAR* const kLinkTarget = L"SYSTEM\\HarnfoldLinkTarget";

void MakeLinkTarget()
{
    DeleteTree(HKEY_LOCAL_MACHINE, kLinkTarget);
    ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kLinkTarget, L"Kept", L"v"));
    ASSERT_TRUE(
        SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kLinkTarget) + L"\\Inner", L"", L"v"));
}

void ExpectLinkTargetUntouched(const char* what)
{
    WCHAR data[8] = L"";
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kLinkTarget, L"Kept", RRF_RT_REG_SZ,
                                          NULL, data, &size))
        << what;
    EXPECT_TRUE(MachineKeyExists(std::wstring(kLinkTarget) + L"\\Inner")) << what;
}

}  // namespace

// A registry link under the product key (or the product key itself as one)
// can lead anywhere in the machine's registry. The deletion stops at it as at
// a subkey that can't be opened; the link's target keeps everything.
TEST_F(InstallRecordTest, ALinkStopsTheDeletionAndItsTargetIsUntouched)
{
    // Subkeys are enumerated in name order: A, Link, Locked, Z.
    const std::wstring link = std::wstring(kKey) + L"\\Link";
    MakeNestedKey();
    MakeLinkTarget();
    ASSERT_TRUE(CreateMachineLink(link, kLinkTarget));
    SetLastError(0);
    EXPECT_FALSE(DeleteProductKey());
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANTOPEN), GetLastError());
    ExpectLinkTargetUntouched("link under the product key");
    EXPECT_FALSE(MachineKeyExists(std::wstring(kKey) + L"\\A"));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\Locked\\D"));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\Z"));
    DWORD type, value;
    EXPECT_TRUE(StoredCount(&type, &value));
    for (const SeamRegOpen& open : SeamRegOpens())
        EXPECT_EQ(static_cast<REGSAM>(KEY_ALL_ACCESS), open.access);
    ASSERT_TRUE(DeleteMachineLink(link));
    ExpectLinkTargetUntouched("after removing the link");

    DeleteTree(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_TRUE(CreateMachineLink(kKey, kLinkTarget));
    SetLastError(0);
    EXPECT_FALSE(DeleteProductKey());
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANTOPEN), GetLastError());
    ExpectLinkTargetUntouched("the product key as a link");
    ASSERT_TRUE(DeleteMachineLink(kKey));
    ExpectLinkTargetUntouched("after removing the link");
    DeleteTree(HKEY_LOCAL_MACHINE, kLinkTarget);
}

// Each registry step of the walk can fail, ERROR_MORE_DATA in the middle of
// an enumeration included (a name grew after the buffer was sized): the walk
// stops at once with that code, and what it had not reached stays.
TEST_F(InstallRecordTest, AFailedStepStopsTheDeletionWithItsCode)
{
    // Harnfold\{S1, S2} (leaves without values), values Count, V1, V2. The
    // product key is opened, then each subkey; the subkey enumeration runs
    // top, S1, top, S2, top; the value enumeration S1, S2, then the top.
    struct Case
    {
        const char* what;
        SeamCall call;
        int nth;
        LONG error;
        bool s1, s2;  // still there afterwards
        int valuesLeft;
    };
    const Case cases[] = {
        {"subkeys: more data at once", SeamCallRegEnumKeyExW, 1, ERROR_MORE_DATA, true, true, 3},
        {"subkeys: more data midway", SeamCallRegEnumKeyExW, 3, ERROR_MORE_DATA, false, true, 3},
        {"subkeys: other failure", SeamCallRegEnumKeyExW, 3, ERROR_ACCESS_DENIED, false, true, 3},
        {"values: more data at once", SeamCallRegEnumValueW, 3, ERROR_MORE_DATA, false, false, 3},
        {"values: more data midway", SeamCallRegEnumValueW, 4, ERROR_MORE_DATA, false, false, 2},
        {"value deletion", SeamCallRegDeleteValueW, 2, ERROR_ACCESS_DENIED, false, false, 2},
        {"link check", SeamCallRegQueryValueExW, 2, ERROR_ACCESS_DENIED, true, true, 3},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DeleteTree(HKEY_LOCAL_MACHINE, kKey);
        for (const WCHAR* sub : {L"\\S1", L"\\S2"})
        {
            HKEY k;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kKey) + sub).c_str(), 0,
                                      NULL, 0, KEY_WRITE, NULL, &k, NULL));
            RegCloseKey(k);
        }
        ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"V1", L"v"));
        ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"V2", L"v"));
        DWORD one = 1;
        ASSERT_TRUE(SetRawValue(HKEY_LOCAL_MACHINE, kKey, L"Count", REG_DWORD, &one, 4));
        SeamReset();
        SeamFailCall(c.call, c.nth, 1, static_cast<DWORD>(c.error));
        SetLastError(0);
        EXPECT_FALSE(DeleteProductKey());
        EXPECT_EQ(static_cast<DWORD>(c.error), GetLastError());
        EXPECT_EQ(c.nth, SeamCallsMade(c.call));
        EXPECT_TRUE(MachineKeyExists(kKey));
        EXPECT_EQ(c.s1, MachineKeyExists(std::wstring(kKey) + L"\\S1"));
        EXPECT_EQ(c.s2, MachineKeyExists(std::wstring(kKey) + L"\\S2"));
        HKEY k;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &k));
        DWORD values = 0;
        RegQueryInfoKeyW(k, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
        RegCloseKey(k);
        EXPECT_EQ(static_cast<DWORD>(c.valuesLeft), values);
    }
}
