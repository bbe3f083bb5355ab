// Release checks of the i686 harnfold.dll, read through the resource and
// version APIs, and the shell's view of the x64 build's resources. Its PE
// headers and imports: tests/release/check_pe.py.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ReleaseImage.h"
#include "TestSupport.h"

namespace
{

std::wstring ReleaseLibrary() { return ReleaseDir() + L"\\harnfold.dll"; }
std::wstring BuiltLibrary() { return DistDir() + L"\\harnfold.dll"; }

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
    {0x041D, L"CBM Filer",
     L"Inneh\u00e5ller CBM program, emulator inst\u00e4llningar och data filer."},
    {0x0C0A, L"Ficheros de CBM",
     L"Contiene programas y ficheros de datos de CBM, y ficheros de ajustes y de datos de la "
     L"emulaci\u00f3n."},
};

}  // namespace

TEST(ReleaseResources, AreExactlyStringsIconManifestAndVersion)
{
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.get());
    std::set<std::wstring> expected = {L"14/10/1024", L"24/2/1033", L"16/1/1033"};
    for (const Texts& t : kTexts)
        expected.insert(L"6/7/" + std::to_wstring(t.language));
    for (int id = 1; id <= 10; ++id)
        expected.insert(L"3/" + std::to_wstring(id) + L"/1024");
    EXPECT_EQ(expected, ResourceList(dll.get()));
}

TEST(ReleaseStrings, HoldStrings100And102InSixLanguagesAndNothingElse)
{
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.get());
    EXPECT_EQ(std::vector<WORD>{7}, ResourceIds(dll.get(), kStringResource))
        << "ids 96 to 111 only";
    std::vector<WORD> languages;
    for (const Texts& t : kTexts)
        languages.push_back(t.language);
    EXPECT_EQ(languages, ResourceLanguages(dll.get(), kStringResource, 7));

    for (const Texts& t : kTexts)
    {
        std::vector<std::wstring> block =
            StringBlock(ResourceBytes(dll.get(), kStringResource, 7, t.language));
        ASSERT_EQ(16u, block.size()) << std::hex << t.language;
        for (int i = 0; i < 16; ++i)
        {
            const WCHAR* expected = i == 4 ? t.name : i == 6 ? t.tip : L"";
            EXPECT_EQ(std::wstring(expected), block[i])
                << "string " << 96 + i << ", language " << std::hex << t.language;
        }
        EXPECT_LE(wcslen(t.name), 79u);
        EXPECT_LE(wcslen(t.tip), 199u);
    }
}

TEST(ReleaseIcon, GroupTenIsLanguageNeutralWithTheTenImagesInOrder)
{
    const std::vector<IconImage> kImages = {{16, 4}, {16, 8},  {32, 4},  {32, 8},  {48, 4},
                                            {48, 8}, {16, 32}, {32, 32}, {48, 32}, {256, 32}};
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.get());
    EXPECT_EQ(std::vector<WORD>{10}, ResourceIds(dll.get(), kGroupIconResource));
    EXPECT_EQ(10u, ResourceIds(dll.get(), kIconResource).size());
    EXPECT_EQ(10u, ExpectIconGroup(dll.get(), 10, kLanguageNeutral, kImages,
                                   SourceDir() + L"\\tools\\icons\\out\\Harnfold.ico")
                       .size());
}

TEST(ReleaseManifest, IsResourceTwoInEnglish)
{
    DataFile dll(ReleaseLibrary());
    ASSERT_NE(nullptr, dll.get());
    EXPECT_EQ(std::vector<WORD>{2}, ResourceIds(dll.get(), kManifestResource));
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, ResourceLanguages(dll.get(), kManifestResource, 2));
    ExpectResourceIsFile(dll.get(), kManifestResource, 2, kEnglishUS,
                         SourceDir() + L"\\Tidewell\\Harnfold\\Harnfold.manifest");
    std::string manifest = ResourceBytes(dll.get(), kManifestResource, 2, kEnglishUS);
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
    VersionRecord want = {
        {0x00030002u, 0, 0x00030002u, 0, VS_FFI_FILEFLAGSMASK, 0, VOS__WINDOWS32, VFT_DLL,
         VFT2_UNKNOWN},
        L"040904B0",
        {
            {L"FileDescription", L"Resource Library"},
            {L"FileVersion", L"3, 2, 0, 0"},
            {L"InternalName", L"Harnfold"},
            {L"OriginalFilename", L"harnfold.dll"},
            {L"ProductName", L"Orvalis"},
            {L"ProductVersion", L"3, 2, 0, 0"},
        },
        0x0409,
        0x04B0,
    };
    ExpectVersionRecord(ReleaseLibrary(), want);
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
