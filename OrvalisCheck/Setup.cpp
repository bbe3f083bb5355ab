// What harnfold.dll's Install would find: ResolveDataFolder itself reports
// each source it reads; this file only says what the readings mean.
#include "Checks.h"

#include <string.h>

#include "DataFolder.h"
#include "FolderCustomisation.h"
#include "InstallRecord.h"
#include "Output.h"
#include "OrvalisHost.h"
#include "ProductLauncher.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kVariable[] = L"TIDEWELLDATA";
const WCHAR kUserKey[] = L"Environment";
const WCHAR kMachineKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

enum Source
{
    SourceUser,
    SourceMachine,
    SourceProcess,
    SourceCount
};

const WCHAR* const kSourceNames[SourceCount] = {
    L"the user's TIDEWELLDATA (HKCU\\Environment)",
    L"the machine's TIDEWELLDATA (HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session "
    L"Manager\\Environment)",
    L"TIDEWELLDATA of the process environment (this command's, which may differ from the "
    L"installer's)"};

struct Reading
{
    bool read;     // the library read this source
    DWORD count;   // what the reading returned
    bool filled;   // text holds the reading
    WCHAR text[kPathUnits];
};

struct Resolution
{
    Reading sources[SourceCount];
    int last;             // the source read last, or -1
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
    if (RegQueryValueExW(key.get(), kVariable, NULL, &type, NULL, &bytes) != ERROR_SUCCESS)
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
    else if (bytes < 2)
    {
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
    Put(line, kSourceNames[source]);
    Put(line, L": ");
    if (!reading.read)
    {
        // Not consulted: say so only when it is there at all.
        WCHAR value[kPathUnits];
        DWORD count = 0;
        if (source == SourceProcess)
            count = GetEnvironmentVariableW(kVariable, value, kPathUnits);
        else
            count = ReadEnvironmentValue(HKEY_LOCAL_MACHINE, kMachineKey, kVariable, value,
                                         kPathUnits);
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
                            source == SourceUser ? kUserKey : kMachineKey);
        Emit(line);
        return;
    }
    // Expanding an unset variable leaves its token: that is not a value.
    if (source == SourceProcess && GetEnvironmentVariableW(kVariable, NULL, 0) == 0)
    {
        Put(line, L"not set");
        Emit(line);
        return;
    }
    if (reading.filled)
    {
        Put(line, L"\"");
        Put(line, reading.text);
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

void CheckDesktopIni(const WCHAR* folder)
{
    WCHAR path[kPathUnits];
    lstrcpynW(path, folder, kPathUnits);
    WideBuffer line;
    Put(line, L"Desktop.ini: ");
    if (!AppendDesktopIni(path))
    {
        Put(line, L"its path would be too long; Install would fail with 1603");
        Emit(line);
        return;
    }
    FileGuard file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL));
    if (file.get() == INVALID_HANDLE_VALUE)
    {
        Put(line, L"absent");
        Emit(line);
        return;
    }
    // Far more than the library ever writes: five lines around three paths.
    char text[4096];
    DWORD bytes = 0;
    if (!ReadFile(file.get(), text, sizeof text - 1, &bytes, NULL))
        bytes = 0;
    file.reset();
    text[bytes] = 0;

    const char* form = NULL;
    if (strstr(text, "\r\nLocalizedResourceName=@") != NULL)
        form = "indirect";
    else if (strstr(text, "\r\nLocalizedResourceName=") != NULL)
        form = "literal";
    const char* icon = strstr(text, "[.ShellClassInfo]\r\nIconFile=");
    if (form == NULL || icon == NULL)
    {
        Put(line, L"present, but not in a form that harnfold.dll writes");
        Emit(line);
        return;
    }
    Put(line, form[0] == 'i' ? L"indirect form (the shell loads the names from the library)"
                             : L"literal form (the names themselves)");
    Emit(line);

    // The file is in the ANSI code page, as the library wrote it.
    icon += 28;
    const char* end = icon;
    while (*end != 0 && *end != '\r' && *end != '\n')
        ++end;
    WCHAR library[kPathUnits];
    int units = MultiByteToWideChar(CP_ACP, 0, icon, static_cast<int>(end - icon), library,
                                    kPathUnits - 1);
    library[units > 0 ? units : 0] = 0;
    Put(line, L"Desktop.ini names: ");
    Put(line, library[0] != 0 ? library : L"(no library)");
    DWORD attributes = library[0] != 0 ? GetFileAttributesW(library) : INVALID_FILE_ATTRIBUTES;
    Put(line, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
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
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS)
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
    DataFolderObserver observer = {&r, Step};
    WCHAR folder[kPathUnits];
    HRESULT status = ResolveDataFolder(folder, &observer);

    WideBuffer line;
    Put(line, L"Data folder: ");
    if (status < 0)
    {
        Put(line, L"none (status ");
        PutHex(line, static_cast<DWORD>(status));
        Put(line, L"); Install would fail with 1603");
        Emit(line);
    }
    else
    {
        Put(line, folder[0] != 0 ? folder : L"(empty)");
        Emit(line);
        Put(line, L"Data folder source: ");
        if (r.shared)
        {
            DWORD attributes = GetFileAttributesW(folder);
            Put(line, L"\"CBM Files\" in the shared documents folder");
            if (attributes == INVALID_FILE_ATTRIBUTES)
                Put(line, L", which does not exist yet: Install would create it");
            else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                Put(line, L", which is a file, not a folder");
        }
        else if (r.last >= 0)
        {
            Put(line, kSourceNames[r.last]);
        }
        Emit(line);
    }
    EmitText(L"Data folder sources, in the order Install reads them:");
    for (int source = 0; source < SourceCount; ++source)
        ReportSource(r, source);
    if (status >= 0)
    {
        CheckDesktopIni(folder);
    }
    CheckInstallCount();
}

void CheckTidewell(const WCHAR* program)
{
    WCHAR hostPath[kPathUnits];
    DWORD n = GetFullPathNameW(program, kPathUnits, hostPath, NULL);
    WideBuffer line;
    Put(line, L"Tidewell: ");
    Put(line, program);
    if (n == 0)
    {
        Put(line, L": not a usable path");
        Emit(line);
        return;
    }
    DWORD attributes = n < kPathUnits ? GetFileAttributesW(hostPath)
                                                    : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        Put(line, L" (no such program file)");
    // A path too long for the buffer is what a cut module path would be.
    HostPathStatus status = PlaceHostPathW(hostPath, n < kPathUnits ? n
                                                                          : kPathUnits);
    if (status != HostPathReady)
    {
        Put(line, L": its path leaves no room for the host path");
    }
    else
    {
        attributes = GetFileAttributesW(hostPath);
        Put(line, L" loads ");
        Put(line, hostPath);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        {
            Put(line, L", which exists");
            Emit(line);
            return;
        }
        Put(line, L", which does not exist");
    }
    Put(line, {L": Tidewell shows \"", kHostNotOpened, L"\" and exits with -1"});
    Emit(line);
}
