// The product package as users get it: Wine's msiexec installs, upgrades and
// removes it; the shell opens documents, resolves their icons and follows the
// Start-menu shortcut. This program is 32-bit on purpose: Wine 8 keeps a
// 32-bit package's file types under HKLM\Software\Classes\Wow6432Node, which
// only 32-bit processes see (Windows 7 and later share those keys between
// the views), so a 64-bit caller of the shell would find no types at all.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ReleaseImage.h"
#include "TestSupport.h"

namespace
{

// Every version of the product carries it (packaging/build-product.sh).
const WCHAR* const kUpgradeCode = L"{3F6A2C1E-8B4D-4E7A-9C15-6D2E8F0B7A43}";
const WCHAR* const kCountKey = L"Software\\Quillon\\Harnfold";
const WCHAR* const kPlayersKey = L"SOFTWARE\\Quillon\\Orvalis\\Players";
const WCHAR* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Package(const WCHAR* version)
{
    return BinDir() + L"\\product\\Tidewell-" + version + L".msi";
}

DWORD Msiexec(const std::wstring& arguments) { return RunMsiexec(arguments, 300000); }

DWORD Install(const WCHAR* version) { return Msiexec(L"/i \"" + Package(version) + L"\""); }
DWORD Remove(const WCHAR* version) { return Msiexec(L"/x \"" + Package(version) + L"\""); }

std::wstring InstallDir() { return ShellFolder(CSIDL_PROGRAM_FILESX86) + L"\\Tidewell"; }
std::wstring Installed(const WCHAR* file) { return InstallDir() + L"\\" + file; }
// Windows puts a per-machine package's shortcuts in all users' Start menu;
// Wine's installer does not redirect ProgramMenuFolder and uses the
// installing user's. Either is where the package put it; removal must clear both.
std::wstring CommonShortcut() { return ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Tidewell.lnk"; }
std::wstring UserShortcut() { return ShellFolder(CSIDL_PROGRAMS) + L"\\Tidewell.lnk"; }
std::wstring Shortcut() { return FileExists(CommonShortcut()) ? CommonShortcut() : UserShortcut(); }
std::wstring DataFolder() { return ShellFolder(CSIDL_COMMON_DOCUMENTS) + L"\\CBM Files"; }

// The products of our UpgradeCode that Windows Installer knows, with their versions.
std::map<std::wstring, std::wstring> RelatedProducts()
{
    std::map<std::wstring, std::wstring> products;
    WCHAR code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i)
    {
        WCHAR version[64] = L"";
        DWORD size = 64;
        MsiGetProductInfoW(code, L"VersionString", version, &size);
        products[code] = version;
    }
    return products;
}

std::wstring StringValue(HKEY root, const std::wstring& key, const WCHAR* name)
{
    WCHAR data[1024];
    DWORD size = sizeof data;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, NULL, data, &size) != ERROR_SUCCESS)
        return L"<none>";
    return data;
}

bool ValueInView(const WCHAR* key, const WCHAR* name, REGSAM view)
{
    HKEY open;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &open) != ERROR_SUCCESS)
        return false;
    LONG code = RegQueryValueExW(open, name, NULL, NULL, NULL, NULL);
    RegCloseKey(open);
    return code == ERROR_SUCCESS;
}

// What the players key holds for us, "<none>" when nothing.
std::wstring PlayersValue() { return StringValue(HKEY_LOCAL_MACHINE, kPlayersKey, L"Tidewell"); }

struct DocumentType
{
    const WCHAR* extension;
    const WCHAR* progId;
    int iconGroup;
    const WCHAR* ico;  // the committed icon file of that group
};
const DocumentType kTypes[] = {
    {L".d64", L"Orvalis.DiskImage", 20, L"OrvalisOpenDoc.ico"},
    {L".cart", L"Orvalis.Cartridge", 21, L"OrvalisOpenCart.ico"},
};

void CleanMachine()
{
    for (const auto& product : RelatedProducts())
        Msiexec(L"/x " + product.first);
    DeleteTree(HKEY_LOCAL_MACHINE, kCountKey);
    RemoveTree(DataFolder());
}

// The shell opens a file with its `open` verb, as a double click does: the
// program's arguments and working folder are the shell's to choose unless
// given. Returns the process's exit code, or 0xDEADBEEF when the shell
// started nothing.
DWORD ShellOpen(const std::wstring& file, DWORD* error = NULL, const WCHAR* parameters = NULL,
                const WCHAR* directory = NULL)
{
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_SHOWNORMAL;
    BOOL started = ShellExecuteExW(&info);
    if (error != NULL)
        *error = started ? 0 : GetLastError();
    if (!started || info.hProcess == NULL)
        return 0xDEADBEEF;
    DWORD code = 0xDEADBEEF;
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
}

// A document in a folder whose name has spaces and letters beyond ASCII.
struct Documents
{
    std::wstring folder, record;
    Documents()
        : folder(MakeScratchDir(L"Spiele f\u00fcr \u00c4mter \u03bb")),
          record(folder + L"\\received.txt")
    {
    }
    ~Documents() { RemoveTree(folder); }
    std::wstring Make(const WCHAR* extension)
    {
        std::wstring path = folder + L"\\Disk \u00fc 1" + extension;
        WriteBytes(path, "CBM");
        return path;
    }
    std::vector<std::wstring> Environment(int result) const
    {
        return {L"ORVALIS_FIXTURE_LOG=" + record,
                L"ORVALIS_FIXTURE_RESULT=" + std::to_wstring(result)};
    }
};

// Opening a document runs the installed OrvalisOpen with the document quoted,
// and the installed player gets exactly that command line; the player's
// result comes back through the shell's process handle.
void ExpectDocumentOpens(Documents* documents, const WCHAR* extension)
{
    SCOPED_TRACE(Utf8(extension));
    std::wstring document = documents->Make(extension);
    DeleteFileW(documents->record.c_str());
    ScopedEnvironment environment(documents->Environment(4242));
    DWORD error = 0;
    EXPECT_EQ(4242u, ShellOpen(document, &error)) << "error " << error;
    ExpectWideCall(ReadRecord(documents->record), "<null>",
                   L"\"" + Installed(L"OrvalisOpen.exe") + L"\" \"" + document + L"\"",
                   Installed(L"Player\\OrvalisHost.dll"));
}

// The Desktop.ini of an installation names the installed harnfold.dll.
void ExpectDesktopIniNamesTheInstalledLibrary()
{
    std::string bytes;
    ASSERT_TRUE(ReadBytes(DataFolder() + L"\\Desktop.ini", &bytes));
    std::string library = Utf8(Installed(L"harnfold.dll"));
    EXPECT_EQ("[.ShellClassInfo]\r\nIconFile=" + library +
                  "\r\nIconIndex=-10\r\nLocalizedResourceName=@" + library + ",-100\r\nInfoTip=@" +
                  library + ",-102\r\n",
              bytes);
}

// ---- Icons by their pixels

// The 32×32 true-colour image of a committed .ico file, as stored (bottom-up
// BGRA rows, straight alpha); empty when the file has none.
std::string CommittedImage(const WCHAR* ico)
{
    std::string file;
    if (!ReadBytes(SourceDir() + L"\\tools\\icons\\out\\" + ico, &file) || file.size() < 6)
        return "";
    WORD count = *reinterpret_cast<const WORD*>(&file[4]);
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(IcoFileEntry) <= file.size(); ++i)
    {
        IcoFileEntry entry;
        memcpy(&entry, &file[6 + i * sizeof(IcoFileEntry)], sizeof entry);
        if (entry.width == 32 && entry.bitCount == 32 &&
            entry.offset + sizeof(BITMAPINFOHEADER) + 32 * 32 * 4 <= file.size())
            return file.substr(entry.offset + sizeof(BITMAPINFOHEADER), 32 * 32 * 4);
    }
    return "";
}

// The icon drawn as the shell draws it, onto a 32×32 surface of one colour;
// bottom-up BGRA rows like the stored image.
std::string Drawn(HICON icon, BYTE background)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = 32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP surface = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    std::string pixels;
    if (surface != NULL)
    {
        HGDIOBJ old = SelectObject(dc, surface);
        memset(bits, background, 32 * 32 * 4);
        if (DrawIconEx(dc, 0, 0, icon, 32, 32, 0, NULL, DI_NORMAL))
        {
            GdiFlush();
            pixels.assign(static_cast<const char*>(bits), 32 * 32 * 4);
        }
        SelectObject(dc, old);
        DeleteObject(surface);
    }
    DeleteDC(dc);
    return pixels;
}

// The icon at `location`,`index` (a negative index names an icon group) is
// the committed true-colour picture: drawn over black and over white, each
// colour channel is the stored one blended by its alpha, within rounding.
void ExpectIconIs(const std::wstring& location, int index, const WCHAR* ico)
{
    SCOPED_TRACE(Utf8(location) + "," + std::to_string(index) + " against " + Utf8(ico));
    std::string want = CommittedImage(ico);
    ASSERT_EQ(32u * 32 * 4, want.size());
    HICON icon = NULL;
    ASSERT_EQ(1u, ExtractIconExW(location.c_str(), index, &icon, NULL, 1));
    ASSERT_NE(nullptr, icon);
    std::string black = Drawn(icon, 0), white = Drawn(icon, 255);
    DestroyIcon(icon);
    ASSERT_EQ(want.size(), black.size());
    ASSERT_EQ(want.size(), white.size());
    int wrong = 0, opaque = 0;
    for (size_t p = 0; p < want.size(); p += 4)
    {
        int alpha = static_cast<BYTE>(want[p + 3]);
        opaque += alpha == 255;
        for (int c = 0; c < 3; ++c)
        {
            int stored = static_cast<BYTE>(want[p + c]);
            int overBlack = stored * alpha / 255, overWhite = overBlack + 255 - alpha;
            if (abs(static_cast<BYTE>(black[p + c]) - overBlack) > 2 ||
                abs(static_cast<BYTE>(white[p + c]) - overWhite) > 2)
                ++wrong;
        }
    }
    EXPECT_EQ(0, wrong) << "colour channels that differ from the committed picture";
    EXPECT_LT(100, opaque) << "the picture must show something";
}

// ---- The shortcut

struct Link
{
    bool loaded;
    std::wstring target, arguments, directory, iconFile;
    int iconIndex;
};

Link ReadShortcut(const std::wstring& path)
{
    Link link = {false, L"", L"", L"", L"", 0};
    IShellLinkW* shellLink = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return link;
    IPersistFile* file = NULL;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))))
    {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)))
        {
            WCHAR text[MAX_PATH] = L"";
            link.loaded = true;
            if (SUCCEEDED(shellLink->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH)))
                link.target = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetArguments(text, MAX_PATH)))
                link.arguments = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH)))
                link.directory = text;
            text[0] = 0;
            if (SUCCEEDED(shellLink->GetIconLocation(text, MAX_PATH, &link.iconIndex)))
                link.iconFile = text;
        }
        file->Release();
    }
    shellLink->Release();
    return link;
}

class Product : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(FileExists(Package(L"3.2.0.0")));
        ASSERT_TRUE(FileExists(Package(L"3.2.1")));
        CleanMachine();
    }
    void TearDown() override
    {
        CleanMachine();
        CoUninitialize();
    }
};

}  // namespace

TEST_F(Product, InstallsEveryPartWhereThePackagePutsIt)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));

    for (const WCHAR* file :
         {L"Tidewell.exe", L"OrvalisOpen.exe", L"harnfold.dll", L"OrvalisCheck.exe"})
    {
        std::string installed, shipped;
        EXPECT_TRUE(ReadBytes(Installed(file), &installed)) << Utf8(file);
        ASSERT_TRUE(ReadBytes(ReleaseDir() + L"\\" + file, &shipped)) << Utf8(file);
        EXPECT_TRUE(installed == shipped) << Utf8(file) << " is not the shipped file";
    }
    EXPECT_NE(std::wstring::npos, InstallDir().find(L"\\Program Files (x86)\\"));
    EXPECT_TRUE(FileExists(Installed(L"Player\\OrvalisHost.dll")));
    EXPECT_EQ(Installed(L"Tidewell.exe"), PlayersValue());
    // In the 32-bit view only, where the i686 OrvalisOpen reads.
    EXPECT_FALSE(ValueInView(kPlayersKey, L"Tidewell", KEY_WOW64_64KEY));

    for (const DocumentType& type : kTypes)
    {
        SCOPED_TRACE(Utf8(type.extension));
        std::wstring progId = type.progId;
        EXPECT_EQ(progId, StringValue(HKEY_CLASSES_ROOT, type.extension, NULL));
        EXPECT_EQ(L"\"" + Installed(L"OrvalisOpen.exe") + L"\" \"%1\"",
                  StringValue(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\command", NULL));
        EXPECT_EQ(Installed(L"OrvalisOpen.exe") + L",-" + std::to_wstring(type.iconGroup),
                  StringValue(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon", NULL));
    }

    EXPECT_TRUE(FileExists(Shortcut()));
    EXPECT_EQ(1, StoredCount());
    ExpectDesktopIniNamesTheInstalledLibrary();

    // Add/Remove Programs: name, publisher, version and the product's icon.
    std::map<std::wstring, std::wstring> products = RelatedProducts();
    ASSERT_EQ(1u, products.size());
    EXPECT_EQ(L"3.2.0.0", products.begin()->second);
    std::wstring entry = kUninstallKey + products.begin()->first;
    EXPECT_EQ(L"Tidewell", StringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayName"));
    EXPECT_EQ(L"Quillon", StringValue(HKEY_LOCAL_MACHINE, entry, L"Publisher"));
    EXPECT_EQ(L"3.2.0.0", StringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"));
    // Windows names the icon as DisplayIcon; Wine's installer writes none,
    // but both keep it as the product's icon, which the installer caches.
    std::wstring icon = StringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayIcon");
    if (icon == L"<none>")
    {
        WCHAR path[MAX_PATH] = L"";
        DWORD size = MAX_PATH;
        EXPECT_EQ(0u,
                  MsiGetProductInfoW(products.begin()->first.c_str(), L"ProductIcon", path, &size));
        icon = path;
    }
    ExpectIconIs(icon, 0, L"Tidewell.ico");
}

TEST_F(Product, TheShellOpensDocumentsWithTheInstalledPlayer)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    Documents documents;
    for (const DocumentType& type : kTypes)
        ExpectDocumentOpens(&documents, type.extension);
}

TEST_F(Product, DocumentsShowTheirTypesIconFromOrvalisOpen)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    Documents documents;
    for (const DocumentType& type : kTypes)
    {
        SCOPED_TRACE(Utf8(type.extension));
        std::wstring document = documents.Make(type.extension);
        SHFILEINFOW info;
        ZeroMemory(&info, sizeof info);
        ASSERT_NE(0u, SHGetFileInfoW(document.c_str(), 0, &info, sizeof info, SHGFI_ICONLOCATION));
        EXPECT_EQ(Installed(L"OrvalisOpen.exe"), std::wstring(info.szDisplayName));
        EXPECT_EQ(-type.iconGroup, info.iIcon);
        ExpectIconIs(info.szDisplayName, info.iIcon, type.ico);
    }
}

TEST_F(Product, TheStartMenuShortcutStartsTidewell)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    Link link = ReadShortcut(Shortcut());
    ASSERT_TRUE(link.loaded) << Utf8(Shortcut());
    EXPECT_EQ(Installed(L"Tidewell.exe"), link.target);
    EXPECT_EQ(L"", link.arguments);
    EXPECT_EQ(InstallDir() + L"\\", link.directory);
    ExpectIconIs(link.iconFile, link.iconIndex, L"Tidewell.ico");

    Documents documents;
    ScopedEnvironment environment(documents.Environment(17));
    DWORD error = 0;
    // Started as the shell starts a link: its target, with its arguments, in
    // its working folder. (Wine's ShellExecuteExW on the .lnk itself starts it
    // but hands back no process handle to wait on.)
    EXPECT_EQ(17u, ShellOpen(link.target, &error, link.arguments.c_str(), link.directory.c_str()))
        << "error " << error;
    ExpectWideCall(ReadRecord(documents.record), "Tidewell",
                   L"\"" + Installed(L"Tidewell.exe") + L"\"",
                   Installed(L"Player\\OrvalisHost.dll"));
}

TEST_F(Product, TheInstalledOrvalisCheckReportsTheInstalledPlayer)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    ChildOptions wait;
    wait.timeoutMs = 60000;
    ChildRun run = RunChildCapturing(Installed(L"OrvalisCheck.exe"),
                                     L"\"" + Installed(L"OrvalisCheck.exe") + L"\"", wait);
    DWORD code = run.exitCode;
    const std::string& bytes = run.output;
    EXPECT_EQ(0u, code) << bytes;
    // The chosen row (marked *) is our registration, with the player's version.
    std::string chosen = "\n* Tidewell";
    size_t row = bytes.find(chosen);
    ASSERT_NE(std::string::npos, row) << bytes;
    std::string rest = bytes.substr(row + 1, bytes.find('\n', row + 1) - row - 1);
    EXPECT_NE(std::string::npos, rest.find(Utf8(Installed(L"Tidewell.exe")))) << rest;
    EXPECT_NE(std::string::npos, rest.find("3.2.0.0")) << rest;
    EXPECT_NE(std::string::npos,
              bytes.find("OrvalisOpen: loads " + Utf8(Installed(L"Player\\OrvalisHost.dll")) +
                         " (3.2.0.0)"))
        << bytes;
}

TEST_F(Product, ANewerVersionReplacesTheOldOneAndAnOlderOneIsRefused)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    ASSERT_EQ(1, StoredCount());
    Documents documents;
    {
        SCOPED_TRACE("3.2.1 over 3.2.0.0");
        ASSERT_EQ(0u, Install(L"3.2.1"));
        std::map<std::wstring, std::wstring> products = RelatedProducts();
        ASSERT_EQ(1u, products.size());
        EXPECT_EQ(L"3.2.1", products.begin()->second);
        EXPECT_EQ(1, StoredCount());
        ExpectDesktopIniNamesTheInstalledLibrary();
        EXPECT_EQ(Installed(L"Tidewell.exe"), PlayersValue());
        EXPECT_TRUE(FileExists(Shortcut()));
        for (const DocumentType& type : kTypes)
            ExpectDocumentOpens(&documents, type.extension);
    }
    {
        SCOPED_TRACE("3.2.0.0 over 3.2.1");
        EXPECT_EQ(1603u, Install(L"3.2.0.0"));
        std::map<std::wstring, std::wstring> products = RelatedProducts();
        ASSERT_EQ(1u, products.size());
        EXPECT_EQ(L"3.2.1", products.begin()->second);
        EXPECT_EQ(1, StoredCount());
        ExpectDesktopIniNamesTheInstalledLibrary();
        ExpectDocumentOpens(&documents, L".d64");
    }
    {
        SCOPED_TRACE("3.2.1 again: a repair");
        ASSERT_EQ(0u, Install(L"3.2.1"));
        EXPECT_EQ(1, StoredCount());
    }
}

namespace
{

// After removal nothing of ours is left, and documents no longer open with us.
void ExpectNothingLeft(Documents* documents)
{
    EXPECT_FALSE(FileExists(InstallDir()));
    EXPECT_EQ(L"<none>", PlayersValue());
    for (const DocumentType& type : kTypes)
    {
        SCOPED_TRACE(Utf8(type.extension));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, type.extension));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, type.progId));
        std::wstring document = documents->Make(type.extension);
        DeleteFileW(documents->record.c_str());
        ScopedEnvironment environment(documents->Environment(4242));
        EXPECT_EQ(0xDEADBEEFu, ShellOpen(document));
        EXPECT_FALSE(FileExists(documents->record));
    }
    EXPECT_FALSE(FileExists(CommonShortcut()));
    EXPECT_FALSE(FileExists(UserShortcut()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kCountKey));
    EXPECT_FALSE(FileExists(DataFolder() + L"\\Desktop.ini"));
    EXPECT_TRUE(RelatedProducts().empty());
}

}  // namespace

TEST_F(Product, RemovalLeavesNothingAndAnEmptyDataFolderGoes)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    std::wstring entry = kUninstallKey + RelatedProducts().begin()->first;
    ASSERT_EQ(0u, Remove(L"3.2.0.0"));
    Documents documents;
    ExpectNothingLeft(&documents);
    EXPECT_FALSE(FileExists(DataFolder()));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, entry));
}

TEST_F(Product, RemovalAfterAnUpgradeKeepsADataFolderThatHoldsUserFiles)
{
    ASSERT_EQ(0u, Install(L"3.2.0.0"));
    ASSERT_TRUE(WriteBytes(DataFolder() + L"\\game.d64", "mine"));
    ASSERT_EQ(0u, Install(L"3.2.1"));
    std::string kept;
    EXPECT_TRUE(ReadBytes(DataFolder() + L"\\game.d64", &kept));
    EXPECT_EQ("mine", kept);
    ASSERT_EQ(0u, Remove(L"3.2.1"));
    Documents documents;
    ExpectNothingLeft(&documents);
    ASSERT_TRUE(ReadBytes(DataFolder() + L"\\game.d64", &kept));
    EXPECT_EQ("mine", kept);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesW(DataFolder().c_str()) & ~FILE_ATTRIBUTE_ARCHIVE);
}
