// The shipped i686 OrvalisOpen.exe, read back through the resource and
// version APIs: icon groups, manifest and version record.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ReleaseImage.h"
#include "TestSupport.h"

namespace
{

class ReleaseFile : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        path_ = new std::wstring(ReleaseDir() + L"\\OrvalisOpen.exe");
        file_ = new DataFile(*path_);
        module_ = file_->get();
    }
    static void TearDownTestSuite()
    {
        delete file_;
        delete path_;
    }

    static std::wstring* path_;
    static DataFile* file_;
    static HMODULE module_;
};

std::wstring* ReleaseFile::path_ = NULL;
DataFile* ReleaseFile::file_ = NULL;
HMODULE ReleaseFile::module_ = NULL;

std::wstring Icon(const WCHAR* name) { return SourceDir() + L"\\tools\\icons\\out\\" + name; }

}  // namespace

TEST_F(ReleaseFile, CarriesExactlyItsIconsManifestAndVersionInUsEnglish)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    std::set<std::wstring> expected = {L"14/10/1033", L"14/20/1033", L"14/21/1033", L"24/1/1033",
                                       L"16/1/1033"};
    for (int id = 1; id <= 10 + 13 + 13; ++id)
        expected.insert(L"3/" + std::to_wstring(id) + L"/1033");
    EXPECT_EQ(expected, ResourceList(module_));
}

TEST_F(ReleaseFile, IconGroupsHoldTheirImagesInOrderAsBitmaps)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    const std::vector<IconImage> program = {{16, 4}, {16, 8},  {32, 4},  {32, 8},  {48, 4},
                                            {48, 8}, {16, 32}, {32, 32}, {48, 32}, {256, 32}};
    const std::vector<IconImage> documents = {{16, 4},  {16, 8},  {24, 4},  {24, 8},  {32, 4},
                                              {32, 8},  {48, 4},  {48, 8},  {16, 32}, {24, 32},
                                              {32, 32}, {48, 32}, {256, 32}};
    std::vector<IconGroupImage> group10 =
        ExpectIconGroup(module_, 10, kEnglishUS, program, Icon(L"OrvalisOpen.ico"));
    std::vector<IconGroupImage> group20 =
        ExpectIconGroup(module_, 20, kEnglishUS, documents, Icon(L"OrvalisOpenDoc.ico"));
    std::vector<IconGroupImage> group21 =
        ExpectIconGroup(module_, 21, kEnglishUS, documents, Icon(L"OrvalisOpenCart.ico"));
    ASSERT_EQ(10u, group10.size());
    ASSERT_EQ(13u, group20.size());
    ASSERT_EQ(13u, group21.size());
    // Three different designs: compare the 32×32 true-colour pictures' pixels.
    const size_t pixels = sizeof(BITMAPINFOHEADER), bytes = 32 * 32 * 4;
    std::string p10 = group10[7].bytes.substr(pixels, bytes),
                p20 = group20[10].bytes.substr(pixels, bytes),
                p21 = group21[10].bytes.substr(pixels, bytes);
    EXPECT_NE(p10, p20);
    EXPECT_NE(p10, p21);
    EXPECT_NE(p20, p21);
}

TEST_F(ReleaseFile, ManifestDeclaresTheAssemblyCommonControlsAndAsInvoker)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    std::string manifest = ResourceBytes(module_, kManifestResource, 1, kEnglishUS);
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, ResourceLanguages(module_, kManifestResource, 1));
    ExpectResourceIsFile(module_, kManifestResource, 1, kEnglishUS,
                         SourceDir() + L"\\OrvalisOpen\\OrvalisOpen.manifest");
    const char* const parts[] = {
        "<assemblyIdentity version=\"3.2.0.0\" processorArchitecture=\"x86\" "
        "name=\"Quillon.Orvalis.OrvalisOpen\" type=\"win32\"/>",
        "<description>OrvalisOpen Application</description>",
        "<dependency>\n    <dependentAssembly>\n      <assemblyIdentity type=\"win32\" "
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
        "processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>",
        "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
    };
    for (const char* part : parts)
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
    EXPECT_EQ(0u, manifest.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                                "manifestVersion=\"1.0\">"));
    // Exactly one identity of our own and one dependency.
    size_t identities = 0;
    for (size_t at = manifest.find("<assemblyIdentity"); at != std::string::npos;
         at = manifest.find("<assemblyIdentity", at + 1))
        ++identities;
    EXPECT_EQ(2u, identities);
}

TEST_F(ReleaseFile, VersionRecordNamesThePlayerAt3200)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    VersionRecord want = {
        {0x00030002u, 0, 0x00030002u, 0, VS_FFI_FILEFLAGSMASK, 0, VOS_NT_WINDOWS32, VFT_APP,
         VFT2_UNKNOWN},
        L"040904b0",
        {
            {L"CompanyName", L"Quillon"},
            {L"FileDescription", L"Orvalis Player"},
            {L"FileVersion", L"3, 2, 0, 0"},
            {L"InternalName", L"OrvalisOpen"},
            {L"LegalCopyright", L"\x00a9 Quillon"},
            {L"OriginalFilename", L"OrvalisOpen.exe"},
            {L"ProductName", L"Orvalis"},
            {L"ProductVersion", L"3, 2, 0, 0"},
        },
        0x0409,
        1200,
    };
    ExpectVersionRecord(*path_, want);
}
