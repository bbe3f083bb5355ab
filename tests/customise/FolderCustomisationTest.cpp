#include <gtest/gtest.h>

#include <string>

#include "FolderCustomisation.h"
#include "ModuleGlobals.h"
#include "Seam.h"
#include "TestSupport.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace
{

// Expected file bytes are written out in the ANSI code page of the test
// prefix, Windows-1252 (ä E4, è E8, é E9, å E5, unrepresentable ?).
const UINT kTestCodePage = 1252;

const WCHAR kModule[] = L"C:\\Program Files\\Tidewell\\harnfold.dll";
const char kModuleBytes[] = "C:\\Program Files\\Tidewell\\harnfold.dll";

std::string Indirect(const std::string& module)
{
    return "[.ShellClassInfo]\r\nIconFile=" + module +
           "\r\nIconIndex=-10\r\nLocalizedResourceName=@" + module + ",-100\r\nInfoTip=@" + module +
           ",-102\r\n";
}

std::string Literal(const std::string& module, const std::string& name, const std::string& tip)
{
    return "[.ShellClassInfo]\r\nIconFile=" + module +
           "\r\nIconIndex=-10\r\nLocalizedResourceName=" + name + "\r\nInfoTip=" + tip + "\r\n";
}

const char kEnglishName[] = "CBM Files";
const char kEnglishTip[] =
    "Contains CBM software and data files, and emulation settings and other data files.";
const char kGermanName[] = "CBM Dateien";
const char kGermanTip[] =
    "Enth\xE4lt CBM Programme und Dateien sowie Einstellungen und Dateien der Emulation.";
const char kSwedishName[] = "CBM Filer";
const char kSwedishTip[] = "Inneh\xE5ller CBM program, emulator inst\xE4llningar och data filer.";

// The module globals as DllMain would leave them: the strings come from this
// test program, which carries the library's resource script.
void UseModule(const WCHAR* path, HINSTANCE instance = GetModuleHandleW(NULL))
{
    ModuleInstance = instance;
    lstrcpynW(ModulePath, path, MAX_PATH);
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

const DWORD kMarks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

std::string Contents(const std::wstring& path)
{
    std::string bytes;
    if (!ReadBytes(path, &bytes))
        return "<missing>";
    return bytes;
}

// Shows bytes with their escapes, so a failing comparison reads well.
std::string Show(const std::string& bytes)
{
    std::string out;
    char hex[8];
    for (unsigned char c : bytes)
    {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7F)
        {
            wsprintfA(hex, "\\x%02X", c);
            out += hex;
        }
        else
            out += static_cast<char>(c);
    }
    return out;
}

// Thread locale for the test's duration: LoadStringW follows it.
class ThreadLocale
{
public:
    explicit ThreadLocale(LANGID language) : saved_(GetThreadLocale())
    {
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    }
    ~ThreadLocale() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

class Scratch
{
public:
    Scratch() : dir(MakeScratchDir(L"customise")), ini(dir + L"\\Desktop.ini") {}
    ~Scratch() { RemoveTree(dir); }
    const std::wstring dir;
    const std::wstring ini;
};

// A folder whose path is exactly `units` long, inside the scratch folder.
std::wstring LongFolder(const Scratch& scratch, size_t units)
{
    std::wstring path = scratch.dir;
    while (path.size() < units)
    {
        size_t remaining = units - path.size();
        path += L"\\" + std::wstring(remaining > 101 ? 50 : remaining - 1, L'd');
        CreateDirectoryW(path.c_str(), NULL);
    }
    return path;
}

}  // namespace

TEST(TestPrefix, UsesTheCodePageTheExpectedBytesAssume) { ASSERT_EQ(kTestCodePage, GetACP()); }

TEST(DllMain, RecordsHandleAndPathOnProcessAttachOnly)
{
    const WCHAR kOld[] = L"C:\\old\\harnfold.dll";
    HINSTANCE old = reinterpret_cast<HINSTANCE>(0x10000);
    for (DWORD reason :
         {DWORD(DLL_PROCESS_DETACH), DWORD(DLL_THREAD_ATTACH), DWORD(DLL_THREAD_DETACH)})
    {
        UseModule(kOld, old);
        EXPECT_TRUE(DllMain(GetModuleHandleW(NULL), reason, NULL));
        EXPECT_EQ(old, ModuleInstance);
        EXPECT_STREQ(kOld, ModulePath);
    }
    EXPECT_EQ(0, SeamCallsMade(SeamCallGetModuleFileNameW));

    UseModule(kOld, old);
    WCHAR real[MAX_PATH];
    ASSERT_NE(0u, ::GetModuleFileNameW(GetModuleHandleW(NULL), real, MAX_PATH));
    EXPECT_TRUE(DllMain(GetModuleHandleW(NULL), DLL_PROCESS_ATTACH, NULL));
    EXPECT_EQ(GetModuleHandleW(NULL), ModuleInstance);
    EXPECT_STREQ(real, ModulePath);
}

TEST(DllMain, KeepsOnlyAWholePath)
{
    const std::wstring fits = L"C:\\" + std::wstring(243, L'p') + L"\\harnfold.dll";  // 259 units
    const std::wstring cut = fits + L"x";                                             // 260 units
    struct Case
    {
        std::wstring path;
        bool unterminatedWhenCut;
        bool fails;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"C:\\Setup\\harnfold.dll", false, false, L"C:\\Setup\\harnfold.dll"},
        {fits, false, false, fits},
        {cut, false, false, L""},
        {cut, true, false, L""},
        {L"C:\\Setup\\harnfold.dll", false, true, L""},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        UseModule(L"C:\\old\\harnfold.dll", NULL);
        SeamSetModuleFileName(c.path.c_str(), c.unterminatedWhenCut);
        if (c.fails)
            SeamFailCall(SeamCallGetModuleFileNameW, 1, 1, ERROR_MOD_NOT_FOUND);
        HINSTANCE module = reinterpret_cast<HINSTANCE>(0x20000);
        EXPECT_TRUE(DllMain(module, DLL_PROCESS_ATTACH, NULL));
        EXPECT_EQ(module, ModuleInstance);
        EXPECT_EQ(c.expected, std::wstring(ModulePath)) << c.path.size() << " units";
    }
}

TEST(AppendDesktopIni, KeepsAUnitForTheSeparatorAlways)
{
    struct Case
    {
        std::wstring path;
        bool appended;
        std::wstring expected;  // when appended
    };
    const std::wstring p246 = L"C:\\" + std::wstring(243, L'a');
    const std::wstring p247 = p246 + L"b";
    const std::wstring p248 = p247 + L"c";
    const Case cases[] = {
        {L"C:\\Data", true, L"C:\\Data\\Desktop.ini"},
        {L"C:\\Data\\", true, L"C:\\Data\\Desktop.ini"},
        {L"C:/Data/", true, L"C:/Data/Desktop.ini"},
        {p247, true, p247 + L"\\Desktop.ini"},  // 259 units
        {p246 + L"\\", true, p246 + L"\\Desktop.ini"},
        {p248, false, L""},
        {p247 + L"\\", false, L""},  // would fit, but is 248 units
        {L"", false, L""},
    };
    for (const Case& c : cases)
    {
        WCHAR buffer[MAX_PATH];
        for (WCHAR& unit : buffer)
            unit = L'#';
        lstrcpynW(buffer, c.path.c_str(), MAX_PATH);
        const std::wstring before(buffer, MAX_PATH);
        EXPECT_EQ(c.appended, AppendDesktopIni(buffer)) << c.path.size() << " units";
        if (c.appended)
        {
            EXPECT_EQ(c.expected, std::wstring(buffer));
            EXPECT_LE(wcslen(buffer), 259u);
        }
        else
            EXPECT_EQ(before, std::wstring(buffer, MAX_PATH)) << c.path.size() << " units";
    }
}

TEST(IsWindowsXPOrLater, OnlyNtFiveOneAndLater)
{
    struct Case
    {
        DWORD platform, major, minor;
        bool expected;
    };
    const Case cases[] = {
        {VER_PLATFORM_WIN32_NT, 5, 0, false},       {VER_PLATFORM_WIN32_NT, 5, 1, true},
        {VER_PLATFORM_WIN32_NT, 5, 2, true},        {VER_PLATFORM_WIN32_NT, 6, 0, true},
        {VER_PLATFORM_WIN32_NT, 10, 0, true},       {VER_PLATFORM_WIN32_NT, 4, 90, false},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, false}, {VER_PLATFORM_WIN32_WINDOWS, 6, 1, false},
    };
    for (const Case& c : cases)
    {
        SeamSetVersion(c.platform, c.major, c.minor);
        EXPECT_EQ(c.expected, IsWindowsXPOrLater())
            << c.platform << " " << c.major << "." << c.minor;
    }
    SeamFailCall(SeamCallGetVersionExW, 1, -1, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(IsWindowsXPOrLater());
}

TEST(CustomiseDataFolder, WritesTheFormTheSystemCallsFor)
{
    struct Case
    {
        const char* system;
        DWORD platform, major, minor;  // platform 0: as Wine reports it
        bool versionFails;
        LANGID language;
        std::string expected;
    };
    const std::string module = kModuleBytes;
    const Case cases[] = {
        {"Wine", 0, 0, 0, false, 0x0409, Indirect(module)},
        {"NT 5.1", VER_PLATFORM_WIN32_NT, 5, 1, false, 0x0407, Indirect(module)},
        {"NT 5.2", VER_PLATFORM_WIN32_NT, 5, 2, false, 0x0409, Indirect(module)},
        {"NT 5.0", VER_PLATFORM_WIN32_NT, 5, 0, false, 0x0409,
         Literal(module, kEnglishName, kEnglishTip)},
        {"NT 5.0", VER_PLATFORM_WIN32_NT, 5, 0, false, 0x0407,
         Literal(module, kGermanName, kGermanTip)},
        {"NT 5.0", VER_PLATFORM_WIN32_NT, 5, 0, false, 0x041D,
         Literal(module, kSwedishName, kSwedishTip)},
        {"4.90", VER_PLATFORM_WIN32_WINDOWS, 4, 90, false, 0x0409,
         Literal(module, kEnglishName, kEnglishTip)},
        {"4.90", VER_PLATFORM_WIN32_WINDOWS, 4, 90, false, 0x0407,
         Literal(module, kGermanName, kGermanTip)},
        {"no version", 0, 0, 0, true, 0x0409, Literal(module, kEnglishName, kEnglishTip)},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        Scratch scratch;
        UseModule(kModule);
        ThreadLocale locale(c.language);
        if (c.platform != 0)
            SeamSetVersion(c.platform, c.major, c.minor);
        if (c.versionFails)
            SeamFailCall(SeamCallGetVersionExW, 1, -1, ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(CustomiseDataFolder(scratch.dir.c_str())) << c.system;
        EXPECT_EQ(Show(c.expected), Show(Contents(scratch.ini)))
            << c.system << ", language " << c.language;
        EXPECT_EQ(1, SeamCallsMade(SeamCallGetVersionExW)) << c.system;
    }
}

TEST(CustomiseDataFolder, IndirectFormSizeFollowsTheModulePath)
{
    const std::wstring paths[] = {L"", L"D:\\h.dll", kModule};
    for (const std::wstring& path : paths)
    {
        Scratch scratch;
        UseModule(path.c_str());
        ASSERT_TRUE(CustomiseDataFolder(scratch.dir.c_str()));
        std::string bytes = Contents(scratch.ini);
        EXPECT_EQ(91 + 3 * path.size(), bytes.size());
        EXPECT_EQ(std::string::npos, bytes.find('\0'));
        EXPECT_EQ(Indirect(Utf8(path)), bytes);
    }
}

TEST(CustomiseDataFolder, WritesTheDefaultCharacterForWhatTheCodePageLacks)
{
    Scratch scratch;
    // é is in the code page; Cyrillic Zhe and a snowman are not.
    UseModule(L"C:\\Caf\x00E9\\\x0416\x2603\\harnfold.dll");
    ASSERT_TRUE(CustomiseDataFolder(scratch.dir.c_str()));
    EXPECT_EQ(Show(Indirect("C:\\Caf\xE9\\?"
                            "?\\harnfold.dll")),
              Show(Contents(scratch.ini)));
}

TEST(CustomiseDataFolder, LeavesTheLiteralValuesEmptyWithoutStrings)
{
    Scratch scratch;
    HMODULE noStrings =
        LoadLibraryExW(FixtureHost(L"host-3.9").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, noStrings);
    UseModule(kModule, noStrings);
    SeamSetVersion(VER_PLATFORM_WIN32_NT, 5, 0);
    EXPECT_TRUE(CustomiseDataFolder(scratch.dir.c_str()));
    EXPECT_EQ(Show(Literal(kModuleBytes, "", "")), Show(Contents(scratch.ini)));
    FreeLibrary(noStrings);
}

TEST(CustomiseDataFolder, MarksTheFolderAndHidesOnlyTheFile)
{
    Scratch scratch;
    UseModule(kModule);
    // An earlier file, longer than the new one, hidden, system and read-only.
    ASSERT_TRUE(WriteBytes(scratch.ini, std::string(600, 'x')));
    SetFileAttributesW(scratch.ini.c_str(), kMarks);
    ASSERT_EQ(kMarks, Attributes(scratch.ini) & kMarks);

    EXPECT_TRUE(CustomiseDataFolder(scratch.dir.c_str()));
    EXPECT_EQ(Show(Indirect(kModuleBytes)), Show(Contents(scratch.ini)));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), Attributes(scratch.ini) & kMarks);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_SYSTEM), Attributes(scratch.dir) & kMarks);

    // A second run on a NT 5.0 system rewrites the whole file in the other form.
    SeamSetVersion(VER_PLATFORM_WIN32_NT, 5, 0);
    ThreadLocale english(0x0409);
    EXPECT_TRUE(CustomiseDataFolder(scratch.dir.c_str()));
    EXPECT_EQ(Show(Literal(kModuleBytes, kEnglishName, kEnglishTip)), Show(Contents(scratch.ini)));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), Attributes(scratch.ini) & kMarks);
}

TEST(CustomiseDataFolder, SkipsEverythingWhenTheFolderCannotBeMarked)
{
    enum Fault
    {
        NoLibrary,
        NoExport,
        Refused
    };
    for (Fault fault : {NoLibrary, NoExport, Refused})
    {
        SeamReset();
        Scratch scratch;
        UseModule(kModule);
        std::wstring folder = scratch.dir;
        if (fault == NoLibrary)
            SeamFailLoadLibrary(L"shlwapi.dll");
        else if (fault == NoExport)
            SeamFailProcAddress("PathMakeSystemFolderW");
        else
            folder += L"\\missing";  // the platform refuses a folder that isn't there
        EXPECT_TRUE(CustomiseDataFolder(folder.c_str())) << fault;
        EXPECT_FALSE(FileExists(folder + L"\\Desktop.ini")) << fault;
        EXPECT_EQ(0u, Attributes(scratch.dir) & kMarks) << fault;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(scratch.dir + L"\\missing")) << fault;
        ASSERT_EQ(1u, SeamLoadedNames().size());
        EXPECT_EQ(L"shlwapi.dll", SeamLoadedNames()[0]);
        EXPECT_EQ(0, SeamCallsMade(SeamCallGetVersionExW)) << fault;
    }
}

TEST(CustomiseDataFolder, RefusesTooLongAPathOnceTheFolderIsMarked)
{
    Scratch scratch;
    UseModule(kModule);
    const std::wstring p247 = LongFolder(scratch, 247);
    const std::wstring p248 = p247 + L"e";
    ASSERT_TRUE(CreateDirectoryW(p248.c_str(), NULL));

    EXPECT_TRUE(CustomiseDataFolder(p247.c_str()));
    EXPECT_EQ(Show(Indirect(kModuleBytes)), Show(Contents(p247 + L"\\Desktop.ini")));

    EXPECT_FALSE(CustomiseDataFolder(p248.c_str()));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_SYSTEM), Attributes(p248) & kMarks);
    EXPECT_FALSE(FileExists(p248 + L"\\Desktop.ini"));
    EXPECT_FALSE(CustomiseDataFolder((p248 + L"\\").c_str()));
}

TEST(CustomiseDataFolder, FailsWithoutTouchingTheFileWhenTheTextCannotBeMade)
{
    // Allocations 1 to 7 are the seven pieces of the text, 8 its conversion;
    // the conversion's first call sizes it, the second fills it.
    struct Case
    {
        SeamCall call;
        int nth;
        int allocations;  // made before the composition stopped
    };
    const Case cases[] = {
        {SeamCallGlobalAlloc, 1, 1},         {SeamCallGlobalAlloc, 2, 2},
        {SeamCallGlobalAlloc, 3, 3},         {SeamCallGlobalAlloc, 4, 4},
        {SeamCallGlobalAlloc, 5, 5},         {SeamCallGlobalAlloc, 6, 6},
        {SeamCallGlobalAlloc, 7, 7},         {SeamCallGlobalAlloc, 8, 8},
        {SeamCallWideCharToMultiByte, 1, 7}, {SeamCallWideCharToMultiByte, 2, 8},
    };
    for (bool literal : {false, true})
    {
        for (const Case& c : cases)
        {
            SeamReset();
            Scratch scratch;
            UseModule(kModule);
            if (literal)
                SeamSetVersion(VER_PLATFORM_WIN32_NT, 5, 0);
            ASSERT_TRUE(WriteBytes(scratch.ini, "earlier"));
            SetFileAttributesW(scratch.ini.c_str(), kMarks);
            SeamFailCall(c.call, c.nth);
            EXPECT_FALSE(CustomiseDataFolder(scratch.dir.c_str())) << c.call << " #" << c.nth;
            EXPECT_EQ(c.allocations, SeamCallsMade(SeamCallGlobalAlloc)) << c.call << " #" << c.nth;
            EXPECT_EQ("earlier", Contents(scratch.ini)) << c.call << " #" << c.nth;
            EXPECT_EQ(kMarks, Attributes(scratch.ini) & kMarks) << c.call << " #" << c.nth;
            EXPECT_EQ(0, SeamGetOutstanding().globalBlocks);
        }
    }
}

TEST(CustomiseDataFolder, FailsAndLeavesNoFileWhenTheWriteFails)
{
    struct Case
    {
        const char* what;
        DWORD maxBytes;  // short write; 0: WriteFile fails
        DWORD error;
    };
    const Case cases[] = {
        {"short write without an error code", 10, 0},
        {"short write with an error code", 10, ERROR_DISK_FULL},
        {"failed write without an error code", 0, 0},
        {"failed write", 0, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        Scratch scratch;
        UseModule(kModule);
        if (c.maxBytes > 0)
            SeamSetShortWrite(c.maxBytes, c.error);
        else
            SeamFailCall(SeamCallWriteFile, 1, 1, c.error);
        EXPECT_FALSE(CustomiseDataFolder(scratch.dir.c_str())) << c.what;
        EXPECT_FALSE(FileExists(scratch.ini)) << c.what;
    }

    Scratch scratch;
    UseModule(kModule);
    ASSERT_TRUE(CreateDirectoryW(scratch.ini.c_str(), NULL));  // cannot be created as a file
    EXPECT_FALSE(CustomiseDataFolder(scratch.dir.c_str()));
}

// Each of these names the scratch folder only through the current folder or
// drive; neither operation may touch it.
TEST(CustomiseDataFolder, RefusesPathsThatAreNotFullyQualifiedWithoutTouchingAnything)
{
    Scratch scratch;
    UseModule(kModule);
    ASSERT_TRUE(WriteBytes(scratch.ini, "earlier"));
    SetFileAttributesW(scratch.ini.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_EQ(L':', scratch.dir[1]);
    const std::wstring leaf = scratch.dir.substr(scratch.dir.rfind(L'\\') + 1);
    const std::wstring relative[] = {
        L"", L".", L".\\", scratch.dir.substr(0, 2), scratch.dir.substr(2), L"..\\" + leaf,
    };
    WCHAR saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.dir.c_str()));
    for (const std::wstring& path : relative)
    {
        EXPECT_FALSE(CustomiseDataFolder(path.c_str())) << Utf8(path);
        EXPECT_FALSE(RemoveFolderCustomisation(path.c_str())) << Utf8(path);
    }
    EXPECT_FALSE(CustomiseDataFolder(NULL));
    EXPECT_FALSE(RemoveFolderCustomisation(NULL));
    SetCurrentDirectoryW(saved);

    EXPECT_EQ(0, SeamCallsMade(SeamCallLoadLibraryW));
    EXPECT_EQ("earlier", Contents(scratch.ini));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), Attributes(scratch.ini) & kMarks);
    EXPECT_EQ(0u, Attributes(scratch.dir) & kMarks);
}

TEST(ComposeDesktopIni, ReleasesThePartialTextAtEveryFailedAppend)
{
    for (DesktopIniForm form : {DesktopIniIndirect, DesktopIniLiteral})
    {
        for (int nth = 1; nth <= 7; ++nth)
        {
            SeamReset();
            SeamFailCall(SeamCallGlobalAlloc, nth);
            WideBuffer text;
            EXPECT_FALSE(ComposeDesktopIni(text, form, kModule, L"Name", L"Tip")) << nth;
            EXPECT_EQ(nullptr, text.text);
            EXPECT_EQ(nth, SeamCallsMade(SeamCallGlobalAlloc));
            EXPECT_EQ(0, SeamGetOutstanding().globalBlocks);
        }
        SeamReset();
        WideBuffer text;
        EXPECT_TRUE(ComposeDesktopIni(text, form, L"", L"", L""));
        ASSERT_NE(nullptr, text.text);
        EXPECT_EQ(form == DesktopIniIndirect ? 91u : 79u, wcslen(text.text));
        EXPECT_EQ(7, SeamCallsMade(SeamCallGlobalAlloc));
    }
}

TEST(WriteBufferToFile, ReportsEveryFailureAndDeletesWhatItCreated)
{
    struct Case
    {
        const char* what;
        DWORD maxBytes;  // 0: no short write
        bool writeFails;
        DWORD error;
        HRESULT expected;
    };
    const Case cases[] = {
        {"whole write", 0, false, 0, S_OK},
        {"short write, no error code", 4, false, 0, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)},
        {"short write, disk full", 4, false, ERROR_DISK_FULL, HRESULT_FROM_WIN32(ERROR_DISK_FULL)},
        {"failed write, no error code", 0, true, 0, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)},
        {"failed write, access denied", 0, true, ERROR_ACCESS_DENIED,
         HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
    };
    for (const Case& c : cases)
    {
        SeamReset();
        Scratch scratch;
        const std::wstring path = scratch.dir + L"\\out.ini";
        ASSERT_TRUE(WriteBytes(path, std::string(100, 'x')));
        NarrowBuffer buffer(CP_ACP);
        buffer.AssignFromWide(L"0123456789");
        if (c.maxBytes > 0)
            SeamSetShortWrite(c.maxBytes, c.error);
        if (c.writeFails)
            SeamFailCall(SeamCallWriteFile, 1, 1, c.error);
        EXPECT_EQ(c.expected, WriteBufferToFile(path.c_str(), buffer, 10)) << c.what;
        if (c.expected == S_OK)
            EXPECT_EQ("0123456789", Contents(path)) << c.what;
        else
            EXPECT_FALSE(FileExists(path)) << c.what;
    }
}

TEST(WriteBufferToFile, CreatesAnEmptyFileForNoText)
{
    Scratch scratch;
    const std::wstring path = scratch.dir + L"\\out.ini";
    NarrowBuffer none(CP_ACP);
    EXPECT_EQ(S_OK, WriteBufferToFile(path.c_str(), none, 0));
    EXPECT_EQ("", Contents(path));
    EXPECT_EQ(0, SeamCallsMade(SeamCallWriteFile));
}

TEST(WriteBufferToFile, LeavesAFileItCouldNotOpen)
{
    Scratch scratch;
    const std::wstring path = scratch.dir + L"\\out.ini";
    ASSERT_TRUE(WriteBytes(path, "kept"));
    NarrowBuffer buffer(CP_ACP);
    buffer.AssignFromWide(L"new");
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
              WriteBufferToFile(path.c_str(), buffer, 3));
    CloseHandle(other);
    EXPECT_EQ("kept", Contents(path));

    const std::wstring nowhere = scratch.dir + L"\\missing\\out.ini";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              WriteBufferToFile(nowhere.c_str(), buffer, 3));
}

TEST(RemoveFolderCustomisation, DeletesTheFileUnmarksAndRemovesAnEmptyFolder)
{
    struct Case
    {
        const char* what;
        bool customised;
        bool otherFile;
        bool trailingSeparator;
        bool folderStays;
    };
    const Case cases[] = {
        {"customised, empty", true, false, false, false},
        {"customised, empty, path with separator", true, false, true, false},
        {"marked without Desktop.ini", false, false, false, false},
        {"customised, other files", true, true, false, true},
        {"marked, other files", false, true, false, true},
    };
    for (const Case& c : cases)
    {
        Scratch scratch;
        UseModule(kModule);
        const std::wstring folder = scratch.dir + L"\\CBM Files";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
        if (c.customised)
        {
            ASSERT_TRUE(CustomiseDataFolder(folder.c_str()));
        }
        else
            SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_SYSTEM);
        if (c.otherFile)
        {
            ASSERT_TRUE(WriteBytes(folder + L"\\disk.d64", "data"));
        }
        const std::wstring argument = folder + (c.trailingSeparator ? L"\\" : L"");

        EXPECT_TRUE(RemoveFolderCustomisation(argument.c_str())) << c.what;
        EXPECT_FALSE(FileExists(folder + L"\\Desktop.ini")) << c.what;
        if (c.folderStays)
        {
            EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), Attributes(folder)) << c.what;
            EXPECT_EQ("data", Contents(folder + L"\\disk.d64")) << c.what;
        }
        else
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(folder)) << c.what;
    }

    Scratch scratch;
    EXPECT_TRUE(RemoveFolderCustomisation((scratch.dir + L"\\never made").c_str()));
}

TEST(RemoveFolderCustomisation, TouchesNothingWhenTheFilePathDoesNotFit)
{
    Scratch scratch;
    const std::wstring p248 = LongFolder(scratch, 248);
    ASSERT_TRUE(WriteBytes(p248 + L"\\Desktop.ini", "earlier"));
    SetFileAttributesW(p248.c_str(), FILE_ATTRIBUTE_SYSTEM);

    EXPECT_FALSE(RemoveFolderCustomisation(p248.c_str()));
    EXPECT_EQ("earlier", Contents(p248 + L"\\Desktop.ini"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_SYSTEM), Attributes(p248) & kMarks);
}

// A file that has the data folder's name is the user's: neither the
// customisation nor its removal changes its attributes or its bytes, and the
// customisation fails (Install then fails with 1603).
TEST(FolderCustomisation, LeavesAFileOfTheFolderNameAsItIs)
{
    Scratch scratch;
    UseModule(kModule);
    const std::wstring file = scratch.dir + L"\\CBM Files";
    ASSERT_TRUE(WriteBytes(file, "the user's own"));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    const DWORD before = Attributes(file);
    ASSERT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), before & kMarks);

    EXPECT_FALSE(CustomiseDataFolder(file.c_str()));
    EXPECT_EQ(before, Attributes(file));
    EXPECT_TRUE(RemoveFolderCustomisation(file.c_str()));
    EXPECT_EQ(before, Attributes(file));
    EXPECT_EQ("the user's own", Contents(file));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}
