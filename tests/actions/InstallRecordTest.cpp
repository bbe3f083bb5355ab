#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallRecord.h"
#include "Seam.h"
#include "TestSupport.h"

namespace
{

bool MachineKeyExists(const std::wstring& key) { return RegistryKeyExists(HKEY_LOCAL_MACHINE, key); }

const WCHAR* const kKey = L"Software\\Quillon\\Harnfold";

class InstallRecordTest : public testing::Test
{
protected:
    void SetUp() override { DeleteTree(HKEY_LOCAL_MACHINE, kKey); }
    void TearDown() override { DeleteTree(HKEY_LOCAL_MACHINE, kKey); }
};

bool StoredCount(DWORD* type, DWORD* value)
{
    DWORD size = sizeof *value;
    return RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"Count", RRF_RT_ANY, type, value, &size) ==
               ERROR_SUCCESS &&
           size == 4;
}

}  // namespace

TEST(StatusFromWin32, MapsPositiveCodesIntoTheWin32Facility)
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
        EXPECT_EQ(c.status, static_cast<DWORD>(StatusFromWin32(c.code))) << c.code;
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
    const WCHAR* keys[] = {L"", L"\\A", L"\\A\\B", L"\\A\\B\\C", L"\\Locked", L"\\Locked\\D",
                           L"\\Z"};
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
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key));
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
