// Reading the shipped i686 files as data, never running them: their
// resources, icon groups and version records, from an x86 or an x64 test.
// The PE headers and imports are checked by tests/release/check_pe.py.
#ifndef TESTS_RELEASE_IMAGE_H
#define TESTS_RELEASE_IMAGE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"

// Resource types by number: the RT_ names are narrow in this build.
const LPCWSTR kIconResource = MAKEINTRESOURCEW(3);
const LPCWSTR kStringResource = MAKEINTRESOURCEW(6);
const LPCWSTR kGroupIconResource = MAKEINTRESOURCEW(14);
const LPCWSTR kVersionResource = MAKEINTRESOURCEW(16);
const LPCWSTR kManifestResource = MAKEINTRESOURCEW(24);

const WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kLanguageNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// A file loaded for its resources only; freed when the guard goes.
class DataFile
{
public:
    explicit DataFile(const std::wstring& path);
    ~DataFile();
    DataFile(DataFile&& other) : module_(other.module_) { other.module_ = NULL; }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// The resource's bytes in that language; empty when there is none.
std::string ResourceBytes(HMODULE module, LPCWSTR type, WORD id, WORD language);
// Identifiers of every resource of a type (all of ours are numbered), ascending.
std::vector<WORD> ResourceIds(HMODULE module, LPCWSTR type);
// Languages of one resource, ascending.
std::vector<WORD> ResourceLanguages(HMODULE module, LPCWSTR type, WORD id);
// Every resource of the file as "type/id/language", e.g. "14/10/1033".
std::set<std::wstring> ResourceList(HMODULE module);

// Checks that the resource holds exactly the bytes of a committed file.
void ExpectResourceIsFile(HMODULE module, LPCWSTR type, WORD id, WORD language,
                          const std::wstring& file);

#pragma pack(push, 2)
// An entry of an icon group resource.
struct IconGroupEntry
{
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
// An entry of an .ico file's directory.
struct IcoFileEntry
{
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes, offset;
};
#pragma pack(pop)

struct IconImage
{
    int size;  // pixels square
    int bitCount;
};

struct IconGroupImage
{
    IconGroupEntry entry;
    std::string bytes;
};

// Checks icon group `id`: only in `language`, the `expected` images in that
// order, each image in the same language, stored as a bitmap with its mask
// (a PNG for the size `pngSize` only, 0 for none), and each the very image of
// the committed .ico file `ico`. Returns the images in group order, or none
// when the group can't be walked.
std::vector<IconGroupImage> ExpectIconGroup(HMODULE module, WORD id, WORD language,
                                            const std::vector<IconImage>& expected,
                                            const std::wstring& ico, int pngSize = 0);

// What a version record holds, every field of it.
struct FixedFileInfo
{
    DWORD fileVersionMS, fileVersionLS;
    DWORD productVersionMS, productVersionLS;
    DWORD fileFlagsMask, fileFlags, fileOS, fileType, fileSubtype;
};
struct VersionValue
{
    const WCHAR* name;
    const WCHAR* value;
};
struct VersionRecord
{
    FixedFileInfo fixed;
    const WCHAR* table;                // the string table's key, as stored
    std::vector<VersionValue> values;  // every value of the table, in stored order
    WORD language;                     // the only translation
    WORD codePage;
};

// Walks the version resource (1, US English) itself: exactly the expected
// fixed part, one string table with exactly these values in this order, and
// one translation.
void ExpectVersionResource(HMODULE module, const VersionRecord& want);

// Checks the file's version record as the platform's version API reads it,
// then as stored. Inline so that each release test program links the
// version library itself, after this support library.
inline void ExpectVersionRecord(const std::wstring& path, const VersionRecord& want)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed->dwSignature);
    EXPECT_EQ(want.fixed.fileVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(want.fixed.fileVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(want.fixed.productVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(want.fixed.productVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(want.fixed.fileFlagsMask, fixed->dwFileFlagsMask);
    EXPECT_EQ(want.fixed.fileFlags, fixed->dwFileFlags);
    EXPECT_EQ(want.fixed.fileOS, fixed->dwFileOS);
    EXPECT_EQ(want.fixed.fileType, fixed->dwFileType);
    EXPECT_EQ(want.fixed.fileSubtype, fixed->dwFileSubtype);

    for (const VersionValue& v : want.values)
    {
        WCHAR* value = NULL;
        std::wstring query = std::wstring(L"\\StringFileInfo\\") + want.table + L"\\" + v.name;
        EXPECT_TRUE(
            VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value != NULL)
            << Utf8(v.name);
        if (value != NULL)
        {
            EXPECT_EQ(std::wstring(v.value), std::wstring(value));
        }
    }

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length) << "one translation";
    EXPECT_EQ(want.language, translation[0]);
    EXPECT_EQ(want.codePage, translation[1]);

    DataFile file(path);
    ASSERT_NE(nullptr, file.get());
    ExpectVersionResource(file.get(), want);
}

#endif
