// Release checks of the i686 harnfold.dll, read through the resource and
// version APIs, and the shell's view of the x64 build's resources.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace
{

std::wstring ReleaseLibrary() { return ReleaseDir() + L"\\harnfold.dll"; }
std::wstring BuiltLibrary() { return DistDir() + L"\\harnfold.dll"; }

const WORD kNeutral = 0x0400;
// Resource types as wide identifiers.
const LPCWSTR kString = MAKEINTRESOURCEW(6);
const LPCWSTR kIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kGroupIcon = MAKEINTRESOURCEW(14);
const LPCWSTR kVersion = MAKEINTRESOURCEW(16);
const LPCWSTR kManifest = MAKEINTRESOURCEW(24);
const WORD kEnglish = 0x0409;

class DataFile
{
public:
    explicit DataFile(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataFile()
    {
        if (module != NULL)
            FreeLibrary(module);
    }
    HMODULE module;
};

// The resource's bytes; empty when there is no resource in that language.
std::string Resource(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    HRSRC found = FindResourceExW(module, type, name, language);
    if (found == NULL)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes != NULL ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list)
{
    reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(language);
    return TRUE;
}

// Identifiers of every resource of a type (all of ours are numbered).
std::vector<ULONG_PTR> Names(HMODULE module, LPCWSTR type)
{
    std::vector<ULONG_PTR> names;
    EnumResourceNamesW(module, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::vector<ULONG_PTR> Languages(HMODULE module, LPCWSTR type, ULONG_PTR name)
{
    std::vector<ULONG_PTR> languages;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(name), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

// The sixteen counted strings of a string block.
std::vector<std::wstring> StringBlock(const std::string& bytes)
{
    std::vector<std::wstring> strings;
    size_t at = 0;
    while (strings.size() < 16 && at + 2 <= bytes.size())
    {
        WORD length = *reinterpret_cast<const WORD*>(bytes.data() + at);
        at += 2;
        if (at + 2 * length > bytes.size())
            break;
        strings.push_back(std::wstring(reinterpret_cast<const WCHAR*>(bytes.data() + at), length));
        at += 2 * length;
    }
    return strings;
}

struct Texts
{
    WORD language;
    const WCHAR* name;  // string 100
    const WCHAR* tip;   // string 102
};

const Texts kTexts[] = {
    {0x0407, L"CBM Dateien",
     L"Enth\u00e4lt CBM Programme und Dateien sowie Einstellungen und Dateien der Emulation."},
    {0x0409, L"CBM Files",
     L"Contains CBM software and data files, and emulation settings and other data files."},
    {0x040C, L"Fichiers CBM",
     L"Contient des logiciels et fichiers CBM ainsi que des fichiers et param\u00e8tres "
     L"d'\u00e9mulation."},
    {0x0410, L"Dati CBM",
     L"Contiene programmi e dati CBM, e impostazioni e altri dati relativi all'emulazione."},
    {0x041D, L"CBM Filer", L"Inneh\u00e5ller CBM program, emulator inst\u00e4llningar och data filer."},
    {0x0C0A, L"Ficheros de CBM",
     L"Contiene programas y ficheros de datos de CBM, y ficheros de ajustes y de datos de la "
     L"emulaci\u00f3n."},
};

#pragma pack(push, 2)
struct IconFileEntry
{
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes, offset;
};
struct IconGroupEntry
{
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

}  // namespace

TEST(ReleaseStrings, HoldStrings100And102InSixLanguagesAndNothingElse)
{
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.module);
    EXPECT_EQ(std::vector<ULONG_PTR>{7}, Names(dll.module, kString)) << "ids 96 to 111 only";
    std::vector<ULONG_PTR> languages;
    for (const Texts& t : kTexts)
        languages.push_back(t.language);
    EXPECT_EQ(languages, Languages(dll.module, kString, 7));

    for (const Texts& t : kTexts)
    {
        std::vector<std::wstring> block =
            StringBlock(Resource(dll.module, kString, MAKEINTRESOURCEW(7), t.language));
        ASSERT_EQ(16u, block.size()) << std::hex << t.language;
        for (int i = 0; i < 16; ++i)
        {
            const WCHAR* expected = i == 4 ? t.name : i == 6 ? t.tip : L"";
            EXPECT_EQ(std::wstring(expected), block[i]) << "string " << 96 + i << ", language " << std::hex << t.language;
        }
        EXPECT_LE(wcslen(t.name), 79u);
        EXPECT_LE(wcslen(t.tip), 199u);
    }
}

TEST(ReleaseIcon, GroupTenIsLanguageNeutralWithTheTenImagesInOrder)
{
    struct Image
    {
        int size, bitCount, colours;
    };
    const Image kImages[] = {{16, 4, 16}, {16, 8, 0}, {32, 4, 16}, {32, 8, 0}, {48, 4, 16},
                             {48, 8, 0},  {16, 32, 0}, {32, 32, 0}, {48, 32, 0}, {256, 32, 0}};
    std::string ico;
    ASSERT_TRUE(ReadBytes(SourceDir() + L"\\tools\\icons\\out\\Harnfold.ico", &ico));
    ASSERT_GE(ico.size(), 6u + 10 * sizeof(IconFileEntry));
    const IconFileEntry* files = reinterpret_cast<const IconFileEntry*>(ico.data() + 6);

    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.module);
    EXPECT_EQ(std::vector<ULONG_PTR>{10}, Names(dll.module, kGroupIcon));
    EXPECT_EQ(std::vector<ULONG_PTR>{kNeutral}, Languages(dll.module, kGroupIcon, 10));
    std::string group = Resource(dll.module, kGroupIcon, MAKEINTRESOURCEW(10), kNeutral);
    ASSERT_EQ(6u + 10 * sizeof(IconGroupEntry), group.size());
    const WORD* header = reinterpret_cast<const WORD*>(group.data());
    EXPECT_EQ(0, header[0]);
    EXPECT_EQ(1, header[1]);
    EXPECT_EQ(10, header[2]);
    const IconGroupEntry* entries = reinterpret_cast<const IconGroupEntry*>(group.data() + 6);
    EXPECT_EQ(10u, Names(dll.module, kIcon).size());

    for (int i = 0; i < 10; ++i)
    {
        const Image& want = kImages[i];
        const IconGroupEntry& e = entries[i];
        EXPECT_EQ(want.size % 256, e.width) << "image " << i + 1;
        EXPECT_EQ(want.size % 256, e.height) << "image " << i + 1;
        EXPECT_EQ(want.colours, e.colours) << "image " << i + 1;
        EXPECT_EQ(1, e.planes) << "image " << i + 1;
        EXPECT_EQ(want.bitCount, e.bitCount) << "image " << i + 1;
        EXPECT_EQ(std::vector<ULONG_PTR>{kNeutral}, Languages(dll.module, kIcon, e.id));

        std::string image = Resource(dll.module, kIcon, MAKEINTRESOURCEW(e.id), kNeutral);
        ASSERT_EQ(e.bytes, image.size()) << "image " << i + 1;
        const BITMAPINFOHEADER* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), bitmap->biSize) << "image " << i + 1 << " is a bitmap";
        EXPECT_EQ(want.size, bitmap->biWidth) << "image " << i + 1;
        EXPECT_EQ(2 * want.size, bitmap->biHeight) << "image " << i + 1;
        EXPECT_EQ(want.bitCount, bitmap->biBitCount) << "image " << i + 1;
        EXPECT_EQ(DWORD(BI_RGB), bitmap->biCompression) << "image " << i + 1;
        ASSERT_LE(files[i].offset + files[i].bytes, ico.size());
        EXPECT_TRUE(image == ico.substr(files[i].offset, files[i].bytes)) << "image " << i + 1;
    }
}

TEST(ReleaseManifest, IsResourceTwoInEnglish)
{
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.module);
    EXPECT_EQ(std::vector<ULONG_PTR>{2}, Names(dll.module, kManifest));
    EXPECT_EQ(std::vector<ULONG_PTR>{kEnglish}, Languages(dll.module, kManifest, 2));
    std::string manifest = Resource(dll.module, kManifest, MAKEINTRESOURCEW(2), kEnglish);
    std::string source;
    ASSERT_TRUE(ReadBytes(SourceDir() + L"\\Tidewell\\Harnfold\\Harnfold.manifest", &source));
    EXPECT_EQ(source, manifest);

    const char* const parts[] = {
        "manifestVersion=\"1.0\"",
        "<assemblyIdentity version=\"3.2.0.0\" processorArchitecture=\"x86\" "
        "name=\"Quillon.Tidewell.HarnfoldDLL\" type=\"win32\"/>",
        "<description>Tidewell Resource Library</description>",
        "<assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
        "version=\"6.0.0.0\" processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" "
        "language=\"*\"/>",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
    };
    for (const char* part : parts)
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
}

TEST(ReleaseVersion, IsTheResourceLibrary3200)
{
    const std::wstring path = ReleaseLibrary();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, size);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00030002u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00030002u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(DWORD(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(DWORD(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(0u, fixed->dwFileFlags);

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length) << "one translation";
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04B0, translation[1]);

    const WCHAR* const strings[][2] = {
        {L"FileDescription", L"Resource Library"}, {L"FileVersion", L"3, 2, 0, 0"},
        {L"InternalName", L"Harnfold"},            {L"OriginalFilename", L"harnfold.dll"},
        {L"ProductName", L"Orvalis"},              {L"ProductVersion", L"3, 2, 0, 0"},
    };
    for (const auto& s : strings)
    {
        WCHAR* value = NULL;
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + s[0];
        ASSERT_TRUE(VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            << Utf8(s[0]);
        EXPECT_EQ(std::wstring(s[1]), std::wstring(value)) << Utf8(s[0]);
    }

    DataFile dll(path);
    EXPECT_EQ(std::vector<ULONG_PTR>{kEnglish}, Languages(dll.module, kVersion, 1));
}

TEST(ReleaseImports, AreSystemLibrariesWithoutShlwapi)
{
    std::string pe;
    ASSERT_TRUE(ReadBytes(ReleaseLibrary(), &pe));
    ASSERT_GE(pe.size(), sizeof(IMAGE_DOS_HEADER));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pe.data());
    ASSERT_LE(dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32), pe.size());
    const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(pe.data() + dos->e_lfanew);
    ASSERT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    ASSERT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);

    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    auto offset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
                return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return pe.size();
    };
    std::vector<std::string> imports;
    size_t at = offset(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= pe.size(); at += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    {
        const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pe.data() + at);
        if (d->Name == 0)
            break;
        size_t name = offset(d->Name);
        ASSERT_LT(name, pe.size());
        std::string dll = pe.c_str() + name;
        std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
        imports.push_back(dll);
    }
    const std::vector<std::string> allowed = {"kernel32.dll", "user32.dll", "advapi32.dll",
                                              "shell32.dll", "version.dll", "msvcrt.dll"};
    EXPECT_FALSE(imports.empty());
    for (const std::string& dll : imports)
        EXPECT_NE(allowed.end(), std::find(allowed.begin(), allowed.end(), dll)) << dll;
}

TEST(BuiltLibrary, LoadsAndLetsTheShellResolveItsReferences)
{
    const std::wstring path = BuiltLibrary();
    HMODULE loaded = LoadLibraryW(path.c_str());
    EXPECT_NE(nullptr, loaded) << "DllMain never refuses the load";
    if (loaded != NULL)
        FreeLibrary(loaded);

    LCID saved = GetThreadLocale();
    for (WORD language : {WORD(0x0409), WORD(0x040C)})
    {
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
        const Texts& t = *std::find_if(std::begin(kTexts), std::end(kTexts),
                                       [&](const Texts& x) { return x.language == language; });
        WCHAR text[256] = L"";
        EXPECT_EQ(S_OK, SHLoadIndirectString((L"@" + path + L",-100").c_str(), text, 256, NULL));
        EXPECT_EQ(std::wstring(t.name), std::wstring(text));
        EXPECT_EQ(S_OK, SHLoadIndirectString((L"@" + path + L",-102").c_str(), text, 256, NULL));
        EXPECT_EQ(std::wstring(t.tip), std::wstring(text));
    }
    SetThreadLocale(saved);

    HICON large = NULL;
    HICON small = NULL;
    EXPECT_NE(0u, ExtractIconExW(path.c_str(), -10, &large, &small, 1));
    EXPECT_NE(nullptr, large);
    EXPECT_NE(nullptr, small);
    if (large != NULL)
        DestroyIcon(large);
    if (small != NULL)
        DestroyIcon(small);
}
