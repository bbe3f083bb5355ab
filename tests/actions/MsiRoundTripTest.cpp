// Windows Installer (Wine's msiexec) installs and removes two sample packages
// whose deferred custom actions are harnfold.dll's Install and Uninstall.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "TestSupport.h"

namespace
{

bool MachineKeyExists(const std::wstring& key)
{
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, key);
}

const WCHAR* const kKey = L"Software\\Quillon\\Harnfold";

std::wstring Msi(const WCHAR* sample) { return BinDir() + L"\\msi\\Sample" + sample + L".msi"; }

DWORD Msiexec(const std::wstring& arguments) { return RunMsiexec(arguments, 180000); }

std::wstring DataFolder() { return ShellFolder(CSIDL_COMMON_DOCUMENTS) + L"\\CBM Files"; }

std::wstring InstalledLibrary(const WCHAR* sample)
{
    return ShellFolder(CSIDL_PROGRAM_FILESX86) + L"\\Tidewell Sample " + sample + L"\\harnfold.dll";
}

// Whether the product key exists in one registry view.
bool KeyInView(REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void CleanMachine()
{
    DeleteTree(HKEY_LOCAL_MACHINE, kKey);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA");
    RemoveTree(DataFolder());
}

// The folder is a system folder with a hidden Desktop.ini in the indirect
// form that names `library`, and the shell can resolve the name it gives.
void ExpectCustomisedFor(const std::wstring& library)
{
    std::wstring folder = DataFolder();
    DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_SYSTEM);
    std::wstring ini = folder + L"\\Desktop.ini";
    // Wine adds ARCHIVE to whatever was set.
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN),
              GetFileAttributesW(ini.c_str()) & ~FILE_ATTRIBUTE_ARCHIVE);
    std::string bytes;
    ASSERT_TRUE(ReadBytes(ini, &bytes));
    std::string path = Utf8(library);
    EXPECT_EQ("[.ShellClassInfo]\r\nIconFile=" + path +
                  "\r\nIconIndex=-10\r\nLocalizedResourceName=@" + path + ",-100\r\nInfoTip=@" +
                  path + ",-102\r\n",
              bytes);
    WCHAR name[200] = L"";
    std::wstring reference = L"@" + library + L",-100";
    ASSERT_EQ(S_OK, SHLoadIndirectString(reference.c_str(), name, 200, NULL));
    EXPECT_STREQ(L"CBM Files", name);
}

class MsiRoundTrip : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FileExists(Msi(L"A")));
        ASSERT_TRUE(FileExists(Msi(L"B")));
        CleanMachine();
    }
    void TearDown() override
    {
        Msiexec(L"/x \"" + Msi(L"A") + L"\"");
        Msiexec(L"/x \"" + Msi(L"B") + L"\"");
        CleanMachine();
    }
};

}  // namespace

TEST_F(MsiRoundTrip, TwoInstallationsCountUpAndTheLastRemovalCleansUp)
{
    {
        SCOPED_TRACE("first installation");
        ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"A") + L"\""));
        EXPECT_EQ(1, StoredCount());
        ExpectCustomisedFor(InstalledLibrary(L"A"));
        // The actions ran in a custom-action process of the package's
        // architecture: the count is in that process's registry view only.
        const bool x86 = sizeof(void*) == 4;
        EXPECT_TRUE(KeyInView(x86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY));
        EXPECT_FALSE(KeyInView(x86 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY));
        if (x86)
        {
            EXPECT_NE(std::wstring::npos, InstalledLibrary(L"A").find(L"\\Program Files (x86)\\"));
        }
    }
    {
        SCOPED_TRACE("second installation");
        ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"B") + L"\""));
        EXPECT_EQ(2, StoredCount());
        ExpectCustomisedFor(InstalledLibrary(L"B"));
    }
    {
        SCOPED_TRACE("repair of an installed package counts nothing");
        ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"B") + L"\""));
        EXPECT_EQ(2, StoredCount());
    }
    {
        SCOPED_TRACE("first removal");
        ASSERT_EQ(0u, Msiexec(L"/x \"" + Msi(L"A") + L"\""));
        EXPECT_EQ(1, StoredCount());
        ExpectCustomisedFor(InstalledLibrary(L"B"));
    }
    {
        SCOPED_TRACE("last removal");
        ASSERT_EQ(0u, Msiexec(L"/x \"" + Msi(L"B") + L"\""));
        EXPECT_FALSE(MachineKeyExists(kKey));
        EXPECT_TRUE(MachineKeyExists(L"Software\\Quillon"));
        EXPECT_FALSE(FileExists(DataFolder() + L"\\Desktop.ini"));
        EXPECT_FALSE(FileExists(DataFolder()));
    }
}

TEST_F(MsiRoundTrip, TheLastRemovalKeepsAFolderThatHoldsData)
{
    ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"A") + L"\""));
    ASSERT_TRUE(WriteBytes(DataFolder() + L"\\game.d64", "data"));
    ASSERT_EQ(0u, Msiexec(L"/x \"" + Msi(L"A") + L"\""));
    EXPECT_FALSE(MachineKeyExists(kKey));
    EXPECT_FALSE(FileExists(DataFolder() + L"\\Desktop.ini"));
    EXPECT_TRUE(FileExists(DataFolder() + L"\\game.d64"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesW(DataFolder().c_str()) & ~FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(MsiRoundTrip, AnActionThatFailsFailsTheInstallation)
{
    // A folder where Desktop.ini should go: the file can't be written, so
    // Install returns 1603 and the installation is rolled back.
    ASSERT_TRUE(CreateDirectoryW(DataFolder().c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryW((DataFolder() + L"\\Desktop.ini").c_str(), NULL));
    EXPECT_EQ(1603u, Msiexec(L"/i \"" + Msi(L"A") + L"\""));
    EXPECT_EQ(-1, StoredCount());
    EXPECT_FALSE(FileExists(InstalledLibrary(L"A")));
}

// A TIDEWELLDATA relative to the working folder (the installer's, the system
// folder under Windows Installer) or to a drive's current folder is not
// used: "CBM Files" serves instead, and no other folder is touched.
TEST_F(MsiRoundTrip, ARelativeDataFolderIsNotUsed)
{
    WCHAR system[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring folders[] = {system, std::wstring(system, 3)};
    DWORD attributes[2];
    for (int i = 0; i < 2; ++i)
    {
        attributes[i] = GetFileAttributesW(folders[i].c_str());
        ASSERT_FALSE(FileExists(folders[i] + L"\\Desktop.ini")) << Utf8(folders[i]);
    }
    for (const WCHAR* value : {L".", L"C:", L"Data"})
    {
        SCOPED_TRACE(Utf8(value));
        ASSERT_TRUE(SetStringValue(HKEY_CURRENT_USER, L"Environment", L"TIDEWELLDATA", value));
        ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"A") + L"\""));
        EXPECT_EQ(1, StoredCount());
        ExpectCustomisedFor(InstalledLibrary(L"A"));
        ASSERT_EQ(0u, Msiexec(L"/x \"" + Msi(L"A") + L"\""));
        EXPECT_FALSE(FileExists(DataFolder()));
        for (int i = 0; i < 2; ++i)
        {
            EXPECT_FALSE(FileExists(folders[i] + L"\\Desktop.ini")) << Utf8(folders[i]);
            EXPECT_EQ(attributes[i], GetFileAttributesW(folders[i].c_str())) << Utf8(folders[i]);
        }
        EXPECT_FALSE(FileExists(std::wstring(system) + L"\\Data"));
    }
}

namespace
{

// A key outside Software, so that both architectures' views agree on it.
const WCHAR* const kLinkTarget = L"SYSTEM\\HarnfoldLinkTarget";

// Removes the link itself (never its target) however the test ends, before
// the clean-up deletes the product key's tree.
struct LinkRemover
{
    std::wstring link;
    ~LinkRemover()
    {
        DeleteMachineLink(link);
        DeleteTree(HKEY_LOCAL_MACHINE, kLinkTarget);
    }
};

}  // namespace

// A registry link under the product key leads to any key of the machine: the
// last removal stops deleting at it, the target keeps everything, and the
// folder's clean-up still runs.
TEST_F(MsiRoundTrip, TheLastRemovalNeverFollowsARegistryLink)
{
    ASSERT_EQ(0u, Msiexec(L"/i \"" + Msi(L"A") + L"\""));
    ASSERT_EQ(1, StoredCount());
    LinkRemover remover = {std::wstring(kKey) + L"\\Link"};
    DeleteTree(HKEY_LOCAL_MACHINE, kLinkTarget);
    ASSERT_TRUE(SetStringValue(HKEY_LOCAL_MACHINE, kLinkTarget, L"Kept", L"v"));
    ASSERT_TRUE(
        SetStringValue(HKEY_LOCAL_MACHINE, std::wstring(kLinkTarget) + L"\\Inner", L"", L"v"));
    ASSERT_TRUE(CreateMachineLink(remover.link, kLinkTarget));

    ASSERT_EQ(0u, Msiexec(L"/x \"" + Msi(L"A") + L"\""));
    WCHAR data[8] = L"";
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kLinkTarget, L"Kept", RRF_RT_REG_SZ,
                                          NULL, data, &size));
    EXPECT_TRUE(MachineKeyExists(std::wstring(kLinkTarget) + L"\\Inner"));
    EXPECT_TRUE(MachineKeyExists(kKey));
    EXPECT_FALSE(FileExists(DataFolder() + L"\\Desktop.ini"));
    EXPECT_FALSE(FileExists(DataFolder()));
}
