// The shipped i686 OrvalisOpen.exe, read back through the resource and
// version APIs: icon groups, manifest and version record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace
{

const WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

#pragma pack(push, 2)
struct GroupEntry
{
    BYTE width;
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct FileEntry
{
    BYTE width;
    BYTE height;
    BYTE colors;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    DWORD offset;
};
#pragma pack(pop)

struct Image
{
    int size;
    int bits;
};

class ReleaseFile : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        path_ = new std::wstring(ReleaseDir() + L"\\OrvalisOpen.exe");
        module_ = LoadLibraryExW(path_->c_str(), NULL,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite()
    {
        if (module_ != NULL)
            FreeLibrary(module_);
        delete path_;
    }

    // The resource's bytes in US English; empty when it is missing.
    static std::string Resource(const WCHAR* type, WORD id)
    {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kEnglishUS);
        if (found == NULL)
            return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return data != NULL ? std::string(data, SizeofResource(module_, found)) : std::string();
    }

    // A callback of the platform's calling convention (stdcall on i686).
    static BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
    {
        reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
        return TRUE;
    }

    static std::vector<WORD> Languages(const WCHAR* type, WORD id)
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module_, type, MAKEINTRESOURCEW(id),
                               AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    // Checks group `id` against the image list and against the committed .ico
    // it was built from; returns its images' bytes in group order.
    static std::vector<std::string> CheckGroup(WORD id, const std::vector<Image>& expected,
                                               const std::wstring& icoName)
    {
        std::vector<std::string> images;
        std::string group = Resource(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, id);
        EXPECT_EQ(std::vector<WORD>{kEnglishUS}, Languages(MAKEINTRESOURCEW(14), id));
        if (group.size() < 6)
        {
            ADD_FAILURE() << "icon group " << id << " missing";
            return images;
        }
        std::string ico;
        EXPECT_TRUE(ReadBytes(SourceDir() + L"\\tools\\icons\\out\\" + icoName, &ico));
        const WORD* head = reinterpret_cast<const WORD*>(group.data());
        EXPECT_EQ(0, head[0]);
        EXPECT_EQ(1, head[1]);
        size_t count = head[2];
        EXPECT_EQ(expected.size(), count) << "group " << id;
        EXPECT_EQ(6 + count * sizeof(GroupEntry), group.size());
        if (count != expected.size() || group.size() != 6 + count * sizeof(GroupEntry) ||
            ico.size() < 6 + count * sizeof(FileEntry))
            return images;
        for (size_t i = 0; i < count; ++i)
        {
            SCOPED_TRACE("group " + std::to_string(id) + " image " + std::to_string(i));
            GroupEntry e;
            memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
            FileEntry f;
            memcpy(&f, ico.data() + 6 + i * sizeof f, sizeof f);
            int size = expected[i].size, bits = expected[i].bits;
            EXPECT_EQ(size == 256 ? 0 : size, e.width);
            EXPECT_EQ(size == 256 ? 0 : size, e.height);
            EXPECT_EQ(bits == 4 ? 16 : 0, e.colors);
            EXPECT_EQ(1, e.planes);
            EXPECT_EQ(bits, e.bitCount);
            std::string image = Resource(MAKEINTRESOURCEW(3) /* RT_ICON */, e.id);
            EXPECT_EQ(e.bytes, image.size());
            // Stored as a bitmap: a BITMAPINFOHEADER with the mask's doubled height.
            if (image.size() < sizeof(BITMAPINFOHEADER))
            {
                ADD_FAILURE() << "image too short";
                continue;
            }
            BITMAPINFOHEADER h;
            memcpy(&h, image.data(), sizeof h);
            EXPECT_EQ(sizeof h, h.biSize);
            EXPECT_EQ(size, h.biWidth);
            EXPECT_EQ(2 * size, h.biHeight);
            EXPECT_EQ(bits, h.biBitCount);
            EXPECT_EQ(static_cast<DWORD>(BI_RGB), h.biCompression);
            // The very image the generator committed.
            EXPECT_LE(static_cast<size_t>(f.offset) + f.bytes, ico.size());
            EXPECT_TRUE(f.offset <= ico.size() && ico.compare(f.offset, f.bytes, image) == 0);
            images.push_back(image);
        }
        return images;
    }

    static std::wstring StringValue(const std::vector<BYTE>& info, const std::wstring& name)
    {
        void* value = NULL;
        UINT units = 0;
        std::wstring query = L"\\StringFileInfo\\040904b0\\" + name;
        if (!VerQueryValueW(info.data(), query.c_str(), &value, &units) || value == NULL)
            return L"<missing>";
        return std::wstring(static_cast<const WCHAR*>(value));
    }

    static std::wstring* path_;
    static HMODULE module_;
};

std::wstring* ReleaseFile::path_ = NULL;
HMODULE ReleaseFile::module_ = NULL;

}  // namespace

TEST_F(ReleaseFile, IconGroupsHoldTheirImagesInOrderAsBitmaps)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    const std::vector<Image> program = {{16, 4},  {16, 8},  {32, 4},  {32, 8},  {48, 4},
                                        {48, 8},  {16, 32}, {32, 32}, {48, 32}, {256, 32}};
    const std::vector<Image> documents = {{16, 4},  {16, 8},  {24, 4},  {24, 8},  {32, 4},
                                          {32, 8},  {48, 4},  {48, 8},  {16, 32}, {24, 32},
                                          {32, 32}, {48, 32}, {256, 32}};
    std::vector<std::string> group10 = CheckGroup(10, program, L"OrvalisOpen.ico");
    std::vector<std::string> group20 = CheckGroup(20, documents, L"OrvalisOpenDoc.ico");
    std::vector<std::string> group21 = CheckGroup(21, documents, L"OrvalisOpenCart.ico");
    ASSERT_EQ(10u, group10.size());
    ASSERT_EQ(13u, group20.size());
    ASSERT_EQ(13u, group21.size());
    // Three different designs: compare the 32×32 true-colour pictures' pixels.
    const size_t pixels = sizeof(BITMAPINFOHEADER), bytes = 32 * 32 * 4;
    std::string p10 = group10[7].substr(pixels, bytes), p20 = group20[10].substr(pixels, bytes),
                p21 = group21[10].substr(pixels, bytes);
    EXPECT_NE(p10, p20);
    EXPECT_NE(p10, p21);
    EXPECT_NE(p20, p21);
}

TEST_F(ReleaseFile, ManifestDeclaresTheAssemblyCommonControlsAndAsInvoker)
{
    ASSERT_NE(nullptr, module_) << Utf8(*path_);
    std::string manifest = Resource(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, 1);
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, Languages(MAKEINTRESOURCEW(24), 1));
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
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path_->c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_->c_str(), 0, size, info.data()));
    ASSERT_NE(nullptr, module_);
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, Languages(MAKEINTRESOURCEW(16), 1));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT bytes = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), bytes);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00030002u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00030002u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    const std::pair<const WCHAR*, const WCHAR*> strings[] = {
        {L"FileDescription", L"Orvalis Player"}, {L"FileVersion", L"3, 2, 0, 0"},
        {L"InternalName", L"OrvalisOpen"},       {L"OriginalFilename", L"OrvalisOpen.exe"},
        {L"ProductName", L"Orvalis"},            {L"ProductVersion", L"3, 2, 0, 0"},
        {L"CompanyName", L"Quillon"},            {L"LegalCopyright", L"\x00a9 Quillon"},
    };
    for (const auto& s : strings)
        EXPECT_EQ(std::wstring(s.second), StringValue(info, s.first)) << Utf8(s.first);

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &bytes));
    ASSERT_EQ(4u, bytes);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
}
