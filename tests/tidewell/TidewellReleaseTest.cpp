// The i686 Tidewell.exe as shipped: read through the platform's image,
// resource and version APIs, never run.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace
{

// Resource types by number (the RT_ names are narrow in this build).
const LPCWSTR kIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kGroupIcon = MAKEINTRESOURCEW(14);
const LPCWSTR kManifest = MAKEINTRESOURCEW(24);

std::wstring ReleaseFile() { return ReleaseDir() + L"\\Tidewell.exe"; }

struct ReleaseImage
{
    HMODULE module;
    ReleaseImage()
        : module(LoadLibraryExW(ReleaseFile().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~ReleaseImage()
    {
        if (module != NULL)
            FreeLibrary(module);
    }
};

std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    HRSRC found = FindResourceExW(module, type, name, language);
    if (found == NULL)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data != NULL ? std::string(data, SizeofResource(module, found)) : std::string();
}

std::wstring ResourceId(LPCWSTR id)
{
    return IS_INTRESOURCE(id) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : std::wstring(id);
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::set<std::wstring>*>(param)->insert(
        ResourceId(type) + L"/" + ResourceId(name) + L"/" + std::to_wstring(language));
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    return EnumResourceLanguagesW(module, type, name, AddLanguage, param);
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param)
{
    return EnumResourceNamesW(module, type, AddName, param);
}

unsigned long BigEndian32(const std::string& bytes, size_t at)
{
    return (static_cast<unsigned long>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) |
           static_cast<unsigned char>(bytes[at + 3]);
}

unsigned long Crc32(const std::string& bytes, size_t at, size_t length)
{
    unsigned long crc = 0xFFFFFFFFul;
    for (size_t i = at; i < at + length; ++i)
    {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFul;
}

#pragma pack(push, 2)
struct IconDirEntry
{
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct IconDir
{
    WORD reserved, type, count;
    IconDirEntry entries[1];
};
#pragma pack(pop)

}  // namespace

TEST(TidewellRelease, IsA32BitGuiProgramImportingOnlySystemLibraries)
{
    std::string file;
    ASSERT_TRUE(ReadBytes(ReleaseFile(), &file));
    ASSERT_GT(file.size(), sizeof(IMAGE_DOS_HEADER));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
    ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
    ASSERT_LT(dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32), file.size());
    const IMAGE_NT_HEADERS32* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    ASSERT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);

    // Import names, found through the mapped image.
    ReleaseImage image;
    ASSERT_NE(nullptr, image.module);
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    auto at = [&](DWORD rva) -> const char* {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
        {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return file.data() + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return nullptr;
    };
    const IMAGE_IMPORT_DESCRIPTOR* import =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(importRva));
    ASSERT_NE(nullptr, import);
    std::set<std::string> imported;
    for (; import->Name != 0; ++import)
    {
        std::string name = at(import->Name);
        for (char& ch : name)
            ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        imported.insert(name);
    }
    EXPECT_EQ((std::set<std::string>{"KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL"}), imported);
}

TEST(TidewellRelease, CarriesExactlyItsIconManifestAndVersionInUsEnglish)
{
    ReleaseImage image;
    ASSERT_NE(nullptr, image.module);
    std::set<std::wstring> resources;
    EnumResourceTypesW(image.module, AddType, reinterpret_cast<LONG_PTR>(&resources));
    std::set<std::wstring> expected = {L"14/10/1033", L"24/1/1033", L"16/1/1033"};
    for (int id = 1; id <= 12; ++id)
        expected.insert(L"3/" + std::to_wstring(id) + L"/1033");
    EXPECT_EQ(expected, resources);
}

TEST(TidewellRelease, IconGroupHoldsTwelveImagesInOrder)
{
    ReleaseImage image;
    ASSERT_NE(nullptr, image.module);
    std::string group = ResourceBytes(image.module, kGroupIcon, MAKEINTRESOURCEW(10), 1033);
    ASSERT_EQ(6u + 12 * 14, group.size());
    const IconDir* dir = reinterpret_cast<const IconDir*>(group.data());
    EXPECT_EQ(0, dir->reserved);
    EXPECT_EQ(1, dir->type);
    ASSERT_EQ(12, dir->count);

    struct Expected
    {
        int size, bitCount;
    };
    const Expected images[12] = {{16, 4}, {16, 8}, {24, 8}, {32, 4},  {32, 8},  {48, 4},
                                 {48, 8}, {256, 32}, {16, 32}, {24, 32}, {32, 32}, {48, 32}};
    for (int i = 0; i < 12; ++i)
    {
        SCOPED_TRACE(i);
        const IconDirEntry& e = dir->entries[i];
        const int size = images[i].size, bits = images[i].bitCount;
        EXPECT_EQ(size == 256 ? 0 : size, e.width);
        EXPECT_EQ(size == 256 ? 0 : size, e.height);
        EXPECT_EQ(1, e.planes);
        EXPECT_EQ(bits, e.bitCount);
        EXPECT_EQ(i + 1, e.id);
        std::string bytes = ResourceBytes(image.module, kIcon, MAKEINTRESOURCEW(e.id), 1033);
        ASSERT_EQ(e.bytesInRes, bytes.size());
        if (size == 256)
            continue;  // the PNG, checked below
        // A DIB of twice the height: the colour image, then the AND mask.
        ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
        const BITMAPINFOHEADER* h = reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data());
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), h->biSize);
        EXPECT_EQ(size, h->biWidth);
        EXPECT_EQ(2 * size, h->biHeight);
        EXPECT_EQ(bits, h->biBitCount);
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), h->biCompression);
        size_t palette = bits <= 8 ? (h->biClrUsed ? h->biClrUsed : 1u << bits) * 4 : 0;
        size_t xorRow = ((size * bits + 31) / 32) * 4, andRow = ((size + 31) / 32) * 4;
        EXPECT_EQ(sizeof(BITMAPINFOHEADER) + palette + size * (xorRow + andRow), bytes.size());
        // ...and the platform makes an icon of it.
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&bytes[0]),
                                              static_cast<DWORD>(bytes.size()), TRUE, 0x00030000,
                                              size, size, 0);
        EXPECT_NE(nullptr, icon);
        if (icon != NULL)
            DestroyIcon(icon);
    }
}

TEST(TidewellRelease, LargestIconIsAValidRgbaPng)
{
    ReleaseImage image;
    ASSERT_NE(nullptr, image.module);
    std::string png = ResourceBytes(image.module, kIcon, MAKEINTRESOURCEW(8), 1033);
    ASSERT_GT(png.size(), 8u + 25 + 12);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));

    // Every chunk: length, type, data and a matching CRC; IHDR first, IEND last.
    std::vector<std::string> chunks;
    size_t at = 8;
    while (at + 12 <= png.size())
    {
        unsigned long length = BigEndian32(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        std::string type = png.substr(at + 4, 4);
        SCOPED_TRACE(type);
        EXPECT_EQ(BigEndian32(png, at + 8 + length), Crc32(png, at + 4, 4 + length));
        if (type == "IHDR")
        {
            ASSERT_EQ(13u, length);
            EXPECT_EQ(256u, BigEndian32(png, at + 8));   // width
            EXPECT_EQ(256u, BigEndian32(png, at + 12));  // height
            EXPECT_EQ(8, png[at + 16]);                  // bits per channel
            EXPECT_EQ(6, png[at + 17]);                  // RGBA
            EXPECT_EQ(0, png[at + 18]);                  // deflate
            EXPECT_EQ(0, png[at + 19]);                  // adaptive filtering
            EXPECT_EQ(0, png[at + 20]);                  // not interlaced
        }
        chunks.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(png.size(), at);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ("IHDR", chunks.front());
    EXPECT_EQ("IEND", chunks.back());
    EXPECT_NE(chunks.end(), std::find(chunks.begin(), chunks.end(), "IDAT"));

    // The platform decodes it into a 256x256 icon.
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&png[0]),
                                          static_cast<DWORD>(png.size()), TRUE, 0x00030000, 256,
                                          256, 0);
    ASSERT_NE(nullptr, icon);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP color;
    ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof color, &color));
    EXPECT_EQ(256, color.bmWidth);
    EXPECT_EQ(256, color.bmHeight);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

TEST(TidewellRelease, ManifestRunsAsInvokerWithCommonControls6)
{
    ReleaseImage image;
    ASSERT_NE(nullptr, image.module);
    std::string manifest = ResourceBytes(image.module, kManifest, MAKEINTRESOURCEW(1), 1033);
    ASSERT_FALSE(manifest.empty());
    // Each element with its attributes, in document order.
    const char* const expected[] = {
        "<assemblyIdentity version=\"2012.2.0.0\" processorArchitecture=\"x86\" "
        "name=\"Quillon.Orvalis.Tidewell\" type=\"win32\"/>",
        "<description>Tidewell Application</description>",
        "<assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
        "version=\"6.0.0.0\" processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" "
        "language=\"*\"/>",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
    };
    size_t from = 0;
    for (const char* element : expected)
    {
        SCOPED_TRACE(element);
        size_t found = manifest.find(element, from);
        ASSERT_NE(std::string::npos, found);
        from = found;
    }
}

TEST(TidewellRelease, VersionRecord)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(ReleaseFile().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(ReleaseFile().c_str(), 0, size, &block[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    EXPECT_EQ((2012u << 16) | 2u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ((2012u << 16) | 2u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x17u, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(&block[0], L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    const wchar_t* const strings[][2] = {
        {L"FileDescription", L"Tidewell"},   {L"FileVersion", L"2012, 2, 0, 0"},
        {L"InternalName", L"Tidewell"},      {L"OriginalFilename", L"Tidewell.exe"},
        {L"ProductName", L"Tidewell"},       {L"ProductVersion", L"2012, 2, 0, 0"},
    };
    for (const auto& s : strings)
    {
        SCOPED_TRACE(Utf8(s[0]));
        WCHAR* value = nullptr;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + s[0];
        ASSERT_TRUE(VerQueryValueW(&block[0], path.c_str(), reinterpret_cast<void**>(&value),
                                   &length));
        EXPECT_EQ(std::wstring(s[1]), std::wstring(value));
    }
}
