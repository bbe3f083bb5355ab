// The libraries a host imports, read from its import table without loading
// it, and whether the launcher's search finds each: its program's folder,
// the system folder, the Windows folder, then PATH. Known DLLs and API sets
// are the system's own and count as found. The file is untrusted: every
// offset is checked against the file's size before it is read.
#include "Checks.h"

#include "FileKind.h"
#include "Output.h"
#include "PathBuffer.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kKnownDllsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";
const DWORD kMaxImportedLibraries = 512;
const DWORD kMaxLibraryNameBytes = 256;
const DWORD kMaxSections = 96;
// Offsets and sizes of the image format.
const DWORD kDosSignature = 0x5A4D;       // "MZ"
const DWORD kNtSignature = 0x00004550;    // "PE\0\0"
const ULONGLONG kNewHeaderOffset = 0x3C;  // where the DOS header keeps the PE header's offset
const ULONGLONG kSignatureBytes = 4;
const ULONGLONG kFileHeaderBytes = 20;
const ULONGLONG kSectionCountAt = 2;  // in the file header
const ULONGLONG kOptionalBytesAt = 16;
const ULONGLONG kSectionBytes = 40;
const ULONGLONG kSectionAddressAt = 12;  // in a section header
const ULONGLONG kSectionRawBytesAt = 16;
const ULONGLONG kSectionRawOffsetAt = 20;
const ULONGLONG kImportDescriptorBytes = 20;
const ULONGLONG kImportNameAt = 12;  // in an import descriptor
const ULONGLONG kImportThunksAt = 16;
const WORD kMagicPe32 = 0x10B;
const WORD kMagicPe32Plus = 0x20B;
const ULONGLONG kDirectoriesPe32 = 96;       // data directories in the optional header,
const ULONGLONG kDirectoriesPe32Plus = 112;  // their count in the 4 bytes before them
const ULONGLONG kDirectoryCountBytes = 4;
const ULONGLONG kDirectoryBytes = 8;  // address and size
const DWORD kImportDirectory = 1;

inline void ReleaseView(void* view) { UnmapViewOfFile(view); }
typedef ScopedHandle<HANDLE, ReleaseFile> MappingGuard;
typedef ScopedHandle<void*, ReleaseView> ViewGuard;

struct Image
{
    const BYTE* bytes;
    ULONGLONG size;
    ULONGLONG sections;  // offset of the section table
    DWORD sectionCount;
};

bool Read(const Image& image, ULONGLONG at, ULONGLONG n, DWORD* value)
{
    if (at > image.size || n > image.size - at)
        return false;
    DWORD v = 0;
    for (ULONGLONG i = 0; i < n; ++i)
        v |= static_cast<DWORD>(image.bytes[at + i]) << (8 * i);
    *value = v;
    return true;
}

// The file offset of an address of the loaded image; false when no section
// holds it within the section's bytes in the file.
bool FileOffset(const Image& image, DWORD rva, ULONGLONG* offset)
{
    for (DWORD i = 0; i < image.sectionCount; ++i)
    {
        ULONGLONG header = image.sections + i * kSectionBytes;
        DWORD address = 0, rawBytes = 0, rawOffset = 0;
        if (!Read(image, header + kSectionAddressAt, 4, &address) ||
            !Read(image, header + kSectionRawBytesAt, 4, &rawBytes) ||
            !Read(image, header + kSectionRawOffsetAt, 4, &rawOffset))
            return false;
        if (rva >= address && rva - address < rawBytes)
        {
            *offset = static_cast<ULONGLONG>(rawOffset) + (rva - address);
            return *offset < image.size;
        }
    }
    return false;
}

// Finds the import table; false when the file is not an image this reads.
bool OpenImports(Image& image, ULONGLONG* imports)
{
    DWORD value = 0, newHeader = 0, sectionCount = 0, optionalBytes = 0, magic = 0;
    if (!Read(image, 0, 2, &value) || value != kDosSignature ||
        !Read(image, kNewHeaderOffset, 4, &newHeader) || !Read(image, newHeader, 4, &value) ||
        value != kNtSignature)
        return false;
    ULONGLONG fileHeader = static_cast<ULONGLONG>(newHeader) + kSignatureBytes;
    ULONGLONG optional = fileHeader + kFileHeaderBytes;
    if (!Read(image, fileHeader + kSectionCountAt, 2, &sectionCount) ||
        !Read(image, fileHeader + kOptionalBytesAt, 2, &optionalBytes) ||
        !Read(image, optional, 2, &magic) || sectionCount > kMaxSections)
        return false;
    ULONGLONG directories = magic == kMagicPe32       ? kDirectoriesPe32
                            : magic == kMagicPe32Plus ? kDirectoriesPe32Plus
                                                      : 0;
    DWORD directoryCount = 0, importRva = 0;
    if (directories == 0 ||
        !Read(image, optional + directories - kDirectoryCountBytes, 4, &directoryCount))
        return false;
    image.sections = optional + optionalBytes;
    image.sectionCount = sectionCount;
    ULONGLONG importEntry = directories + kDirectoryBytes * kImportDirectory;
    if (directoryCount <= kImportDirectory || importEntry + kDirectoryBytes > optionalBytes ||
        !Read(image, optional + importEntry, 4, &importRva))
        return false;
    *imports = 0;
    return importRva == 0 || FileOffset(image, importRva, imports);
}

// The name at an address, in the ANSI code page as the loader reads it.
bool ReadName(const Image& image, DWORD rva, WCHAR (&name)[kPathUnits])
{
    ULONGLONG at = 0;
    if (!FileOffset(image, rva, &at))
        return false;
    ULONGLONG room = image.size - at;
    ULONGLONG limit = room < kMaxLibraryNameBytes ? room : kMaxLibraryNameBytes;
    const char* text = reinterpret_cast<const char*>(image.bytes + at);
    int bytes = 0;
    while (static_cast<ULONGLONG>(bytes) < limit && text[bytes] != 0)
        ++bytes;
    if (static_cast<ULONGLONG>(bytes) == limit || bytes == 0)
        return false;
    int units = MultiByteToWideChar(CP_ACP, 0, text, bytes, name, kPathUnits - 1);
    name[units > 0 ? units : 0] = 0;
    return units > 0;
}

bool StartsWithInsensitive(const WCHAR* text, const WCHAR* prefix)
{
    WCHAR head[kPathUnits];
    DWORD n = TextUnits(prefix);
    if (TextUnits(text) < n || n >= static_cast<DWORD>(kPathUnits))
        return false;
    lstrcpynW(head, text, n + 1);
    return lstrcmpiW(head, prefix) == 0;
}

bool IsKnownDll(const WCHAR* name)
{
    KeyGuard key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKnownDllsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index)
    {
        WCHAR valueName[kPathUnits];
        WCHAR data[kPathUnits];
        DWORD nameUnits = kPathUnits;
        DWORD dataBytes = sizeof data - sizeof(WCHAR);
        DWORD type = REG_NONE;
        LONG code = RegEnumValueW(key.get(), index, valueName, &nameUnits, NULL, &type,
                                  reinterpret_cast<BYTE*>(data), &dataBytes);
        if (code == ERROR_NO_MORE_ITEMS)
            return false;
        if (code != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataBytes / sizeof(WCHAR)] = 0;
        if (lstrcmpiW(data, name) == 0)
            return true;
    }
}

bool IsIn(const WCHAR* folder, DWORD units, const WCHAR* name)
{
    WCHAR path[kPathUnits];
    if (units == 0 || units >= static_cast<DWORD>(kPathUnits))
        return false;
    lstrcpynW(path, folder, units + 1);
    return AppendPathName(path, name) && IsExistingFile(path);
}

bool IsOnPath(const WCHAR* name)
{
    DWORD units = GetEnvironmentVariableW(L"PATH", NULL, 0);
    if (units == 0)
        return false;
    LocalGuard block(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (block.get() == NULL)
        return false;
    WCHAR* path = static_cast<WCHAR*>(block.get());
    if (GetEnvironmentVariableW(L"PATH", path, units) >= units)
        return false;
    for (const WCHAR* at = path; *at != 0;)
    {
        const WCHAR* end = at;
        while (*end != 0 && *end != L';')
            ++end;
        if (IsIn(at, static_cast<DWORD>(end - at), name))
            return true;
        at = *end == L';' ? end + 1 : end;
    }
    return false;
}

bool IsFound(const WCHAR* programFolder, const WCHAR* name)
{
    if (StartsWithInsensitive(name, L"api-ms-") || StartsWithInsensitive(name, L"ext-ms-") ||
        IsKnownDll(name) || IsIn(programFolder, TextUnits(programFolder), name))
        return true;
    WCHAR folder[kPathUnits];
    UINT n = GetSystemDirectoryW(folder, kPathUnits);
    if (n != 0 && IsIn(folder, n, name))
        return true;
    n = GetWindowsDirectoryW(folder, kPathUnits);
    if (n != 0 && IsIn(folder, n, name))
        return true;
    return IsOnPath(name);
}

void EmitImport(const WCHAR* label, const WCHAR* name, const WCHAR* verdict)
{
    WideBuffer line;
    Put(line, {label, L": the host imports "});
    PutShown(line, name);
    Put(line, verdict);
    Emit(line);
}

}  // namespace

void CheckHostImports(const WCHAR* label, const WCHAR* programFolder, const WCHAR* hostPath)
{
    FileGuard file(
        CreateFileW(hostPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    LARGE_INTEGER size;
    if (file.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart <= 0)
        return;
    MappingGuard mapping(CreateFileMappingW(file.get(), NULL, PAGE_READONLY, 0, 0, NULL));
    ViewGuard view(mapping.get() != NULL ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0)
                                         : NULL);
    WideBuffer line;
    Image image = {static_cast<const BYTE*>(view.get()), static_cast<ULONGLONG>(size.QuadPart), 0,
                   0};
    ULONGLONG imports = 0;
    if (view.get() == NULL || !OpenImports(image, &imports))
    {
        Put(line, {label, L": the host's import table can't be read: it is not a library "
                          L"Windows can load"});
        Emit(line);
        return;
    }
    WCHAR hostFolder[kPathUnits];
    lstrcpynW(hostFolder, hostPath, kPathUnits);
    DWORD cut = TextUnits(hostFolder);
    while (cut > 0 && hostFolder[cut - 1] != L'\\')
        --cut;
    for (DWORD i = 0; imports != 0 && i < kMaxImportedLibraries; ++i)
    {
        ULONGLONG at = imports + i * kImportDescriptorBytes;
        DWORD nameRva = 0, thunks = 0;
        if (!Read(image, at + kImportNameAt, 4, &nameRva) ||
            !Read(image, at + kImportThunksAt, 4, &thunks))
            break;
        if (nameRva == 0 && thunks == 0)
            return;
        WCHAR name[kPathUnits];
        if (!ReadName(image, nameRva, name))
        {
            Put(line, {label, L": the host's import table names a library unreadably"});
            Emit(line);
            return;
        }
        if (IsFound(programFolder, name))
            continue;
        if (IsIn(hostFolder, cut, name))
            EmitImport(label, name,
                       L", found only beside the host: Windows does not look there "
                       L"for a library loaded by its full path, so it can't be opened");
        else
            EmitImport(label, name,
                       L", which the launcher's search order does not find "
                       L"(its folder, the system folder, the Windows folder, PATH)");
    }
}
