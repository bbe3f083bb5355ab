// What harnfold.dll's Install would find: ResolveDataFolder itself reports
// each source it reads; this file only says what the readings mean.
#include "Checks.h"

#include "DataFolder.h"
#include "FileKind.h"
#include "FolderCustomisation.h"
#include "InstallRecord.h"
#include "Output.h"
#include "ScopeGuards.h"

namespace
{

// Far more than the library ever writes: five lines around three paths.
const DWORD kDesktopIniReadBytes = 4096;
const WCHAR kFails[] = L"; Install would fail with 1603";

enum Source
{
    SourceUser,
    SourceMachine,
    SourceProcess,
    SourceCount
};

void PutSourceName(WideBuffer& line, int source)
{
    switch (source)
    {
    case SourceUser:
        Put(line, {L"the user's ", kDataFolderVariable, L" (HKCU\\", kUserEnvironmentKey, L")"});
        return;
    case SourceMachine:
        Put(line,
            {L"the machine's ", kDataFolderVariable, L" (HKLM\\", kMachineEnvironmentKey, L")"});
        return;
    default:
        Put(line, {kDataFolderVariable, L" of the process environment (this command's, which may "
                                        L"differ from the installer's)"});
        return;
    }
}

struct Reading
{
    bool read;    // the library read this source
    DWORD count;  // what the reading returned
    bool filled;  // text holds the reading
    WCHAR text[kPathUnits];
};

struct Resolution
{
    Reading sources[SourceCount];
    int last;  // the source read last, or -1
    DataFolderStep verdict;
    bool shared;
};

void Step(void* context, DataFolderStep step, DWORD count, const WCHAR* text)
{
    Resolution& r = *static_cast<Resolution*>(context);
    int source = -1;
    switch (step)
    {
    case DataFolderFromUser: source = SourceUser; break;
    case DataFolderFromMachine: source = SourceMachine; break;
    case DataFolderFromProcess: source = SourceProcess; break;
    case DataFolderShared: r.shared = true; return;
    case DataFolderTaken:
    case DataFolderUnfit:
    case DataFolderUnexpanded:
    case DataFolderNotQualified: r.verdict = step; return;
    }
    Reading& reading = r.sources[source];
    reading.read = true;
    reading.count = count;
    reading.filled = count != 0 && count <= static_cast<DWORD>(kPathUnits) && text != NULL;
    reading.text[0] = 0;
    if (reading.filled)
        lstrcpynW(reading.text, text, kPathUnits);
    r.last = source;
}

// Why a registry value that is there counts as absent.
void PutAbsentReason(WideBuffer& line, HKEY root, const WCHAR* subKey)
{
    KeyGuard key;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    {
        Put(line, L"not set");
        return;
    }
    if (RegQueryValueExW(key.get(), kDataFolderVariable, NULL, &type, NULL, &bytes) !=
        ERROR_SUCCESS)
    {
        Put(line, L"not set");
        return;
    }
    Put(line, L"present but not used: ");
    if (type != REG_SZ && type != REG_EXPAND_SZ)
    {
        PutRegistryType(line, type);
        Put(line, L" is not a string");
    }
    else if (bytes / sizeof(WCHAR) == 0)
    {
        // Less than one whole unit is no text, as the library reads it.
        Put(line, L"empty");
    }
    else
    {
        Put(line, L"its expansion failed");
    }
}

void ReportSource(const Resolution& r, int source)
{
    const Reading& reading = r.sources[source];
    WideBuffer line;
    Put(line, L"  ");
    PutSourceName(line, source);
    Put(line, L": ");
    if (!reading.read)
    {
        // Not consulted: say so only when it is there at all.
        WCHAR value[kPathUnits];
        DWORD count = 0;
        if (source == SourceProcess)
            count = GetEnvironmentVariableW(kDataFolderVariable, value, kPathUnits);
        else
            count = ReadEnvironmentValue(HKEY_LOCAL_MACHINE, kMachineEnvironmentKey,
                                         kDataFolderVariable, value, kPathUnits);
        if (count == 0)
        {
            Put(line, L"not set");
        }
        else
        {
            Put(line, L"present but not used: ");
            Put(line, source == SourceProcess ? L"a registry value comes first"
                                              : L"the user's value comes first");
        }
        Emit(line);
        return;
    }
    if (reading.count == 0)
    {
        if (source == SourceProcess)
            Put(line, L"not set");
        else
            PutAbsentReason(line, source == SourceUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                            source == SourceUser ? kUserEnvironmentKey : kMachineEnvironmentKey);
        Emit(line);
        return;
    }
    // Expanding an unset variable leaves its token: that is not a value.
    if (source == SourceProcess && GetEnvironmentVariableW(kDataFolderVariable, NULL, 0) == 0)
    {
        Put(line, L"not set");
        Emit(line);
        return;
    }
    if (reading.filled)
    {
        Put(line, L"\"");
        PutShown(line, reading.text);
        Put(line, L"\" ");
    }
    if (r.last != source)
        Put(line, L"read, then the process environment was expanded instead");
    else if (r.verdict == DataFolderTaken)
        Put(line, L"used");
    else if (r.verdict == DataFolderUnexpanded)
        Put(line, L"not used: it still holds a '%' after expansion");
    else if (r.verdict == DataFolderNotQualified)
        Put(line, L"not used: not a fully qualified path");
    else if (reading.count > static_cast<DWORD>(kPathUnits))
        Put(line, L"not used: longer than 259 characters");
    else
        Put(line, L"not used: it could not be expanded");
    Emit(line);
}

// Where `piece` starts in `text`, or null.
const WCHAR* Find(const WCHAR* text, const WCHAR* piece)
{
    DWORD n = TextUnits(piece);
    for (const WCHAR* at = text; *at != 0; ++at)
    {
        DWORD i = 0;
        while (i < n && at[i] == piece[i])
            ++i;
        if (i == n)
            return at;
    }
    return NULL;
}

// The Desktop.ini as Install will meet it: Install rewrites it with no
// sharing, so a file another process holds open, or a folder of that name,
// makes it fail.
void CheckDesktopIni(const WCHAR* folder, bool created)
{
    WCHAR path[kPathUnits];
    lstrcpynW(path, folder, kPathUnits);
    WideBuffer line;
    Put(line, L"Desktop.ini: ");
    DWORD folderAttributes = GetFileAttributesW(folder);
    if (IsExistingFile(folder))
    {
        Put(line, {L"none can be written: the data folder is a file, not a folder", kFails});
        Emit(line);
        return;
    }
    if (folderAttributes == INVALID_FILE_ATTRIBUTES)
    {
        Put(line, created ? L"absent (Install would create the folder, then write it)"
                          : L"absent (the folder does not exist: Install would not customise it)");
        Emit(line);
        return;
    }
    if (!AppendDesktopIni(path))
    {
        Put(line, {L"its path would be too long", kFails});
        Emit(line);
        return;
    }
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        Put(line, L"absent");
        Emit(line);
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        Put(line, {L"a folder, not a file", kFails});
        Emit(line);
        return;
    }
    // Opened as Install opens it, without sharing, but only to read.
    FileGuard file(CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
    if (file.get() == INVALID_HANDLE_VALUE)
    {
        if (GetLastError() == ERROR_SHARING_VIOLATION)
            Put(line, {L"in use by another process", kFails});
        else
            Put(line, L"present, but it can't be read");
        Emit(line);
        return;
    }
    char bytes[kDesktopIniReadBytes];
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes, sizeof bytes, &read, NULL))
        read = 0;
    file.reset();
    if (read == sizeof bytes)
    {
        Put(line, L"present, but larger than harnfold.dll ever writes");
        Emit(line);
        return;
    }
    // The file is in the ANSI code page, as the library wrote it.
    WCHAR text[kDesktopIniReadBytes + 1];
    int units =
        MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(read), text, kDesktopIniReadBytes);
    text[units > 0 ? units : 0] = 0;

    const WCHAR* start = text == Find(text, kDesktopIniStart) ? text : NULL;
    const WCHAR* indirect = Find(text, kDesktopIniIndirectNames);
    const WCHAR* literal = Find(text, kDesktopIniLiteralNames);
    if (start == NULL || literal == NULL)
    {
        Put(line, L"present, but not in a form that harnfold.dll writes");
        Emit(line);
        return;
    }
    Put(line, indirect != NULL ? L"indirect form (the shell loads the names from the library)"
                               : L"literal form (the names themselves)");
    Emit(line);

    WCHAR* library = text + TextUnits(kDesktopIniStart);
    WCHAR* end = library;
    while (*end != 0 && *end != L'\r' && *end != L'\n')
        ++end;
    *end = 0;
    Put(line, L"Desktop.ini names: ");
    if (library[0] != 0)
        PutShown(line, library);
    else
        Put(line, L"(no library)");
    Put(line, library[0] != 0 && IsExistingFile(library)
                  ? L", which exists"
                  : L", which does not exist: the folder shows no icon or name of its own");
    Emit(line);
}

void CheckInstallCount()
{
    WideBuffer line;
    Put(line, {L"Installation count (HKLM\\", kProductKey, L", ", kCountValue, L"): "});
    DWORD count = 0;
    HRESULT status = ReadInstallCount(&count);
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    bool present = false;
    {
        KeyGuard key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS)
            present = RegQueryValueExW(key.get(), kCountValue, NULL, &type, NULL, &bytes) ==
                      ERROR_SUCCESS;
    }
    if (status >= 0)
    {
        PutNumber(line, count);
        Put(line, L" (");
        PutRegistryType(line, type);
        Put(line, L")");
    }
    else
    {
        if (present)
        {
            Put(line, L"unreadable (");
            PutRegistryType(line, type);
            Put(line, L", ");
            PutNumber(line, bytes);
            Put(line, L" bytes)");
        }
        else
        {
            Put(line, L"none");
        }
        Put(line, L"; Install would write 1, Uninstall would remove everything");
    }
    Emit(line);
}

}  // namespace

void CheckSetup()
{
    Resolution r;
    ZeroMemory(&r, sizeof r);
    r.last = -1;
    r.verdict = DataFolderUnfit;
    // Install's own questions; where it would create a folder, only looked up.
    DataFolderObserver observer = {&r, Step, true};
    WCHAR folder[kPathUnits];
    HRESULT status = ResolveDataFolder(folder, &observer);

    WideBuffer line;
    Put(line, L"Data folder: ");
    if (status < 0)
    {
        Put(line, L"none (status ");
        PutHex(line, static_cast<DWORD>(status));
        Put(line, {L")", kFails});
        Emit(line);
    }
    else
    {
        if (folder[0] != 0)
            PutShown(line, folder);
        else
            Put(line, L"(empty)");
        Emit(line);
        Put(line, L"Data folder source: ");
        if (r.shared)
        {
            DWORD attributes = GetFileAttributesW(folder);
            Put(line, L"\"CBM Files\" in the shared documents folder");
            if (attributes == INVALID_FILE_ATTRIBUTES)
                Put(line, L", which does not exist yet: Install would create it");
            else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                Put(line, {L", which is a file, not a folder", kFails});
        }
        else if (r.last >= 0)
        {
            PutSourceName(line, r.last);
        }
        Emit(line);
    }
    EmitText(L"Data folder sources, in the order Install reads them:");
    for (int source = 0; source < SourceCount; ++source)
        ReportSource(r, source);
    if (status >= 0)
    {
        CheckDesktopIni(folder, r.shared);
    }
    CheckInstallCount();
}
