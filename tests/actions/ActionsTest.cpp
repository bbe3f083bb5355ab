// Install and Uninstall against the real registry and file system, with the
// data folder named by the user's TIDEWELLDATA unless a case says otherwise.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Actions.h"
#include "ModuleGlobals.h"
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

enum Stored
{
    None,       // no key at all
    Dword,      // REG_DWORD value
    OneChar,    // REG_SZ "5"
    TwoChars,   // REG_SZ "55": longer than 4 bytes
    SingleByte  // REG_BINARY 0x05
};

void Store(Stored kind, DWORD value)
{
    DeleteTree(HKEY_LOCAL_MACHINE, kKey);
    switch (kind)
    {
    case None: break;
    case Dword: SetRawValue(HKEY_LOCAL_MACHINE, kKey, L"Count", REG_DWORD, &value, 4); break;
    case OneChar: SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"Count", L"5"); break;
    case TwoChars: SetStringValue(HKEY_LOCAL_MACHINE, kKey, L"Count", L"55"); break;
    case SingleByte:
    {
        BYTE five = 5;
        SetRawValue(HKEY_LOCAL_MACHINE, kKey, L"Count", REG_BINARY, &five, 1);
        break;
    }
    }
}

class ActionsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        DeleteTree(HKEY_LOCAL_MACHINE, kKey);
        scratch_ = MakeScratchDir(L"actions");
        folder_ = scratch_ + L"\\Data";
        CreateDirectoryW(folder_.c_str(), NULL);
        UseDataFolder(folder_);
        lstrcpyW(ModulePath, L"C:\\Program Files\\Tidewell\\harnfold.dll");
        ModuleInstance = GetModuleHandleW(NULL);
    }
    void TearDown() override
    {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA");
        DeleteTree(HKEY_LOCAL_MACHINE, kKey);
        RemoveTree(scratch_);
    }
    void UseDataFolder(const std::wstring& path)
    {
        ASSERT_TRUE(SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", path));
    }
    bool HasIni() { return FileExists(folder_ + L"\\Desktop.ini"); }
    DWORD FolderAttributes() { return GetFileAttributesW(folder_.c_str()); }

    std::wstring scratch_, folder_;
};

}  // namespace

TEST_F(ActionsTest, InstallCountsUpAfterCustomisingTheFolder)
{
    struct Case
    {
        const char* what;
        Stored kind;
        DWORD value;
        long long after;
    };
    const Case cases[] = {
        {"first installation", None, 0, 1},
        {"n becomes n+1", Dword, 2, 3},
        {"the largest count wraps to 0", Dword, 4294967295u, 0},
        {"a one-character string reads as its code", OneChar, 0, 54},
        {"a single byte", SingleByte, 0, 6},
        {"data longer than 4 bytes counts as the first", TwoChars, 0, 1},
    };
    for (const Case& c : cases)
    {
        RemoveTree(folder_ + L"\\Desktop.ini");
        Store(c.kind, c.value);
        EXPECT_EQ(0u, Install(0)) << c.what;
        EXPECT_EQ(c.after, StoredCount()) << c.what;
        EXPECT_TRUE(HasIni()) << c.what;
        EXPECT_TRUE(FolderAttributes() & FILE_ATTRIBUTE_SYSTEM) << c.what;
    }
}

TEST_F(ActionsTest, UninstallCountsDownAndTheLastOneRemovesEverything)
{
    struct Case
    {
        const char* what;
        Stored kind;
        DWORD value;
        long long after;  // -1: key deleted, folder cleaned up
    };
    const Case cases[] = {
        {"n becomes n-1, nothing else", Dword, 3, 2},
        {"0 wraps to the largest count", Dword, 0, 4294967295u},
        {"the last installation", Dword, 1, -1},
        {"no key counts as the last", None, 0, -1},
        {"unreadable data counts as the last", TwoChars, 0, -1},
    };
    for (const Case& c : cases)
    {
        CreateDirectoryW(folder_.c_str(), NULL);
        ASSERT_EQ(0u, Install(0)) << c.what;
        ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kKey) + L"\\Sub\\Deeper", L"",
                                   L"default"));
        Store(c.kind, c.value);
        if (c.kind != None)
            SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kKey) + L"\\Sub\\Deeper", L"", L"d");
        EXPECT_EQ(0u, Uninstall(0)) << c.what;
        EXPECT_EQ(c.after, StoredCount()) << c.what;
        if (c.after >= 0)
        {
            EXPECT_TRUE(HasIni()) << c.what;
            EXPECT_TRUE(FolderAttributes() & FILE_ATTRIBUTE_SYSTEM) << c.what;
        }
        else
        {
            EXPECT_FALSE(MachineKeyExists(kKey)) << c.what;
            EXPECT_TRUE(MachineKeyExists(L"Software\\Quillon")) << c.what;
            EXPECT_FALSE(FileExists(folder_)) << c.what;
        }
    }
}

TEST_F(ActionsTest, NoDataFolderFailsBothActions)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA");
    SeamFailCall(SeamCallSHGetSpecialFolderLocation, 1, -1);
    SeamFailLoadLibrary(L"shfolder.dll");
    EXPECT_EQ(1603u, Install(0));
    EXPECT_FALSE(MachineKeyExists(kKey));

    Store(Dword, 1);
    EXPECT_EQ(1603u, Uninstall(0));
    EXPECT_FALSE(MachineKeyExists(kKey)) << "the key goes before the folder is looked for";
}

TEST_F(ActionsTest, AFileThatCannotBeWrittenFailsInstallAndLeavesTheCount)
{
    Store(Dword, 2);
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\Desktop.ini").c_str(), NULL));
    EXPECT_EQ(1603u, Install(0));
    EXPECT_EQ(2, StoredCount());
    EXPECT_TRUE(FolderAttributes() & FILE_ATTRIBUTE_SYSTEM) << "the marking stays";
}

TEST_F(ActionsTest, AFolderThatCannotBeMarkedStillCounts)
{
    SeamFailLoadLibrary(L"shlwapi.dll");
    EXPECT_EQ(0u, Install(0));
    EXPECT_EQ(1, StoredCount());
    EXPECT_FALSE(HasIni());
}

TEST_F(ActionsTest, ACountThatCannotBeWrittenFails)
{
    SeamFailCall(SeamCallRegCreateKeyExW, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1603u, Install(0));
    EXPECT_EQ(-1, StoredCount());
    EXPECT_TRUE(HasIni()) << "the folder work is done and stays";

    Store(Dword, 3);
    SeamFailCall(SeamCallRegCreateKeyExW, 2, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(1603u, Uninstall(0));
    EXPECT_EQ(3, StoredCount());
}

TEST_F(ActionsTest, AKeyThatCannotBeDeletedDoesNotStopTheCleanUp)
{
    ASSERT_EQ(0u, Install(0));
    ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kKey) + L"\\Locked", L"v", L"x"));
    SeamFailRegOpen(L"Locked", ERROR_ACCESS_DENIED);
    EXPECT_EQ(0u, Uninstall(0));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kKey) + L"\\Locked"));
    EXPECT_FALSE(FileExists(folder_));
}

TEST_F(ActionsTest, AFolderPathTooLongForDesktopIniFailsTheLastUninstall)
{
    std::wstring longPath = L"C:\\" + std::wstring(245, L'x');  // 248 units
    UseDataFolder(longPath);
    Store(Dword, 1);
    EXPECT_EQ(1603u, Uninstall(0));
    EXPECT_FALSE(MachineKeyExists(kKey));
}

TEST_F(ActionsTest, TheLastUninstallLeavesNoFallbackFolderBehind)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA");
    WCHAR documents[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(NULL, CSIDL_COMMON_DOCUMENTS, NULL, 0, documents));
    std::wstring fallback = std::wstring(documents) + L"\\CBM Files";
    RemoveTree(fallback);
    Store(Dword, 1);
    EXPECT_EQ(0u, Uninstall(0));
    EXPECT_FALSE(FileExists(fallback));
    EXPECT_FALSE(MachineKeyExists(kKey));
}
