#include "ReleaseImage.h"

#include <algorithm>
#include <cstring>

DataFile::DataFile(const std::wstring& path)
    : module_(LoadLibraryExW(path.c_str(), NULL,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
{
}

DataFile::~DataFile()
{
    if (module_ != NULL)
        FreeLibrary(module_);
}

std::string ResourceBytes(HMODULE module, LPCWSTR type, WORD id, WORD language)
{
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (found == NULL)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data != NULL ? std::string(data, SizeofResource(module, found)) : std::string();
}

namespace
{

std::wstring ResourceName(LPCWSTR name)
{
    return IS_INTRESOURCE(name) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                : std::wstring(name);
}

BOOL CALLBACK AddId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids)
{
    reinterpret_cast<std::vector<WORD>*>(ids)->push_back(
        static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

BOOL CALLBACK ListLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR list)
{
    reinterpret_cast<std::set<std::wstring>*>(list)->insert(
        ResourceName(type) + L"/" + ResourceName(name) + L"/" + std::to_wstring(language));
    return TRUE;
}

BOOL CALLBACK ListName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR list)
{
    return EnumResourceLanguagesW(module, type, name, ListLanguage, list);
}

BOOL CALLBACK ListType(HMODULE module, LPWSTR type, LONG_PTR list)
{
    return EnumResourceNamesW(module, type, ListName, list);
}

}  // namespace

std::vector<WORD> ResourceIds(HMODULE module, LPCWSTR type)
{
    std::vector<WORD> ids;
    EnumResourceNamesW(module, type, AddId, reinterpret_cast<LONG_PTR>(&ids));
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<WORD> ResourceLanguages(HMODULE module, LPCWSTR type, WORD id)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::set<std::wstring> ResourceList(HMODULE module)
{
    std::set<std::wstring> list;
    EnumResourceTypesW(module, ListType, reinterpret_cast<LONG_PTR>(&list));
    return list;
}

void ExpectResourceIsFile(HMODULE module, LPCWSTR type, WORD id, WORD language,
                          const std::wstring& file)
{
    std::string source;
    ASSERT_TRUE(ReadBytes(file, &source)) << Utf8(file);
    std::string resource = ResourceBytes(module, type, id, language);
    ASSERT_FALSE(resource.empty()) << "resource " << id;
    EXPECT_EQ(source, resource) << Utf8(file);
}

std::vector<IconGroupImage> ExpectIconGroup(HMODULE module, WORD id, WORD language,
                                            const std::vector<IconImage>& expected,
                                            const std::wstring& ico, int pngSize)
{
    std::vector<IconGroupImage> images;
    EXPECT_EQ(std::vector<WORD>{language}, ResourceLanguages(module, kGroupIconResource, id))
        << "group " << id;
    std::string group = ResourceBytes(module, kGroupIconResource, id, language);
    std::string file;
    EXPECT_TRUE(ReadBytes(ico, &file)) << Utf8(ico);
    if (group.size() < 6)
    {
        ADD_FAILURE() << "icon group " << id << " missing";
        return images;
    }
    WORD head[3];
    memcpy(head, group.data(), sizeof head);
    const size_t count = expected.size();
    EXPECT_EQ(0, head[0]);
    EXPECT_EQ(1, head[1]);
    EXPECT_EQ(count, head[2]) << "group " << id;
    EXPECT_EQ(6 + count * sizeof(IconGroupEntry), group.size()) << "group " << id;
    if (head[2] != count || group.size() != 6 + count * sizeof(IconGroupEntry))
        return images;
    if (file.size() < 6 + count * sizeof(IcoFileEntry))
    {
        ADD_FAILURE() << Utf8(ico) << " holds fewer images than group " << id;
        return images;
    }
    for (size_t i = 0; i < count; ++i)
    {
        SCOPED_TRACE("group " + std::to_string(id) + " image " + std::to_string(i + 1));
        IconGroupEntry e;
        memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
        IcoFileEntry f;
        memcpy(&f, file.data() + 6 + i * sizeof f, sizeof f);
        const int size = expected[i].size, bits = expected[i].bitCount;
        EXPECT_EQ(size % 256, e.width);
        EXPECT_EQ(size % 256, e.height);
        EXPECT_EQ(bits == 4 ? 16 : 0, e.colours);
        EXPECT_EQ(1, e.planes);
        EXPECT_EQ(bits, e.bitCount);
        EXPECT_EQ(std::vector<WORD>{language}, ResourceLanguages(module, kIconResource, e.id));
        std::string image = ResourceBytes(module, kIconResource, e.id, language);
        EXPECT_EQ(e.bytes, image.size());
        // The very image the generator committed.
        EXPECT_TRUE(f.offset <= file.size() && f.bytes <= file.size() - f.offset &&
                    file.compare(f.offset, f.bytes, image) == 0);
        if (size == pngSize)
        {
            EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), image.substr(0, 8));
            images.push_back(IconGroupImage{e, image});
            continue;
        }
        // A bitmap of twice the height: the colour image, then the AND mask.
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
        size_t palette = bits <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << bits) * 4 : 0;
        size_t xorRow = ((size * bits + 31) / 32) * 4, andRow = ((size + 31) / 32) * 4;
        EXPECT_EQ(sizeof h + palette + size * (xorRow + andRow), image.size());
        images.push_back(IconGroupImage{e, image});
    }
    return images;
}

namespace
{

// One node of a version resource: key, value and children, each node
// starting on a 32-bit boundary.
struct VersionNode
{
    std::wstring key;
    WORD type;  // 1: text, 0: binary
    std::string value;
    std::vector<VersionNode> children;
};

size_t Aligned(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

WORD Word(const std::string& bytes, size_t at)
{
    WORD w;
    memcpy(&w, bytes.data() + at, sizeof w);
    return w;
}

// Reads the node at `at`, which must end by `end`; false when anything in it
// is out of bounds.
bool ReadNode(const std::string& bytes, size_t at, size_t end, VersionNode* node, size_t* next)
{
    if (at + 6 > end)
        return false;
    const size_t length = Word(bytes, at), valueLength = Word(bytes, at + 2);
    node->type = Word(bytes, at + 4);
    const size_t nodeEnd = at + length;
    if (length < 6 || nodeEnd > end)
        return false;
    size_t p = at + 6;
    for (;; p += 2)
    {
        if (p + 2 > nodeEnd)
            return false;
        WCHAR ch = Word(bytes, p);
        if (ch == 0)
            break;
        node->key.push_back(ch);
    }
    p = Aligned(p + 2);
    const size_t valueBytes = node->type == 1 ? 2 * valueLength : valueLength;
    if (valueBytes > 0)
    {
        if (p + valueBytes > nodeEnd)
            return false;
        node->value.assign(bytes, p, valueBytes);
        p += valueBytes;
    }
    for (p = Aligned(p); p < nodeEnd; p = Aligned(p))
    {
        node->children.push_back(VersionNode());
        if (!ReadNode(bytes, p, nodeEnd, &node->children.back(), &p))
            return false;
    }
    *next = nodeEnd;
    return true;
}

std::vector<std::wstring> Keys(const VersionNode& node)
{
    std::vector<std::wstring> keys;
    for (const VersionNode& child : node.children)
        keys.push_back(child.key);
    return keys;
}

// A text value up to its terminator.
std::wstring Text(const VersionNode& node)
{
    std::wstring text(reinterpret_cast<const WCHAR*>(node.value.data()), node.value.size() / 2);
    return text.substr(0, text.find(L'\0'));
}

}  // namespace

void ExpectVersionResource(HMODULE module, const VersionRecord& want)
{
    EXPECT_EQ(std::vector<WORD>{1}, ResourceIds(module, kVersionResource));
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, ResourceLanguages(module, kVersionResource, 1));
    const std::string bytes = ResourceBytes(module, kVersionResource, 1, kEnglishUS);
    VersionNode root;
    size_t end = 0;
    ASSERT_TRUE(ReadNode(bytes, 0, bytes.size(), &root, &end)) << "a malformed version resource";
    EXPECT_LT(bytes.size() - end, 4u) << "nothing after the record but padding";
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);
    EXPECT_EQ(0, root.type);

    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), root.value.size());
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), fixed.dwSignature);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_STRUCVERSION), fixed.dwStrucVersion);
    EXPECT_EQ(want.fixed.fileVersionMS, fixed.dwFileVersionMS);
    EXPECT_EQ(want.fixed.fileVersionLS, fixed.dwFileVersionLS);
    EXPECT_EQ(want.fixed.productVersionMS, fixed.dwProductVersionMS);
    EXPECT_EQ(want.fixed.productVersionLS, fixed.dwProductVersionLS);
    EXPECT_EQ(want.fixed.fileFlagsMask, fixed.dwFileFlagsMask);
    EXPECT_EQ(want.fixed.fileFlags, fixed.dwFileFlags);
    EXPECT_EQ(want.fixed.fileOS, fixed.dwFileOS);
    EXPECT_EQ(want.fixed.fileType, fixed.dwFileType);
    EXPECT_EQ(want.fixed.fileSubtype, fixed.dwFileSubtype);
    EXPECT_EQ(0u, fixed.dwFileDateMS);
    EXPECT_EQ(0u, fixed.dwFileDateLS);

    ASSERT_EQ((std::vector<std::wstring>{L"StringFileInfo", L"VarFileInfo"}), Keys(root));
    const VersionNode& strings = root.children[0];
    ASSERT_EQ(std::vector<std::wstring>{want.table}, Keys(strings));
    std::vector<std::wstring> expected, stored;
    for (const VersionValue& v : want.values)
        expected.push_back(std::wstring(v.name) + L"=" + v.value);
    for (const VersionNode& v : strings.children[0].children)
    {
        EXPECT_EQ(1, v.type) << Utf8(v.key);
        stored.push_back(v.key + L"=" + Text(v));
    }
    EXPECT_EQ(expected, stored);

    const VersionNode& vars = root.children[1];
    ASSERT_EQ(std::vector<std::wstring>{L"Translation"}, Keys(vars));
    const DWORD translation = MAKELONG(want.language, want.codePage);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&translation), 4), vars.children[0].value);
}
