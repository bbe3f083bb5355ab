// The i686 Tidewell.exe as shipped: read through the platform's resource and
// version APIs, never run. Its PE headers and imports: tests/release/check_pe.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ReleaseImage.h"
#include "TestSupport.h"

namespace
{

std::wstring ReleaseFile() { return ReleaseDir() + L"\\Tidewell.exe"; }

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

}  // namespace

TEST(TidewellRelease, CarriesExactlyItsIconManifestAndVersionInUsEnglish)
{
    DataFile image(ReleaseFile());
    ASSERT_NE(nullptr, image.get());
    std::set<std::wstring> expected = {L"14/10/1033", L"24/1/1033", L"16/1/1033"};
    for (int id = 1; id <= 12; ++id)
        expected.insert(L"3/" + std::to_wstring(id) + L"/1033");
    EXPECT_EQ(expected, ResourceList(image.get()));
}

TEST(TidewellRelease, IconGroupHoldsTwelveImagesInOrder)
{
    DataFile image(ReleaseFile());
    ASSERT_NE(nullptr, image.get());
    const std::vector<IconImage> expected = {{16, 4},  {16, 8},  {24, 8},  {32, 4},
                                             {32, 8},  {48, 4},  {48, 8},  {256, 32},
                                             {16, 32}, {24, 32}, {32, 32}, {48, 32}};
    std::vector<IconGroupImage> images =
        ExpectIconGroup(image.get(), 10, kEnglishUS, expected,
                        SourceDir() + L"\\tools\\icons\\out\\Tidewell.ico", 256);
    ASSERT_EQ(12u, images.size());
    for (size_t i = 0; i < images.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(i + 1, images[i].entry.id);
        const int size = expected[i].size;
        if (size == 256)
            continue;  // the PNG, checked below
        // The platform makes an icon of each bitmap.
        std::string& bytes = images[i].bytes;
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
    DataFile image(ReleaseFile());
    ASSERT_NE(nullptr, image.get());
    std::string png = ResourceBytes(image.get(), kIconResource, 8, kEnglishUS);
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
    HICON icon =
        CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&png[0]), static_cast<DWORD>(png.size()),
                                 TRUE, 0x00030000, 256, 256, 0);
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
    DataFile image(ReleaseFile());
    ASSERT_NE(nullptr, image.get());
    std::string manifest = ResourceBytes(image.get(), kManifestResource, 1, kEnglishUS);
    ASSERT_FALSE(manifest.empty());
    ExpectResourceIsFile(image.get(), kManifestResource, 1, kEnglishUS,
                         SourceDir() + L"\\Tidewell\\Tidewell.manifest");
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
    VersionRecord want = {
        {(2012u << 16) | 2u, 0, (2012u << 16) | 2u, 0, 0x17, 0, VOS__WINDOWS32, VFT_APP,
         VFT2_UNKNOWN},
        L"040904b0",
        {
            {L"FileDescription", L"Tidewell"},
            {L"FileVersion", L"2012, 2, 0, 0"},
            {L"InternalName", L"Tidewell"},
            {L"OriginalFilename", L"Tidewell.exe"},
            {L"ProductName", L"Tidewell"},
            {L"ProductVersion", L"2012, 2, 0, 0"},
        },
        0x0409,
        1200,
    };
    ExpectVersionRecord(ReleaseFile(), want);
}
