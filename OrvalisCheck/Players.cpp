// OrvalisOpen's discovery, told step by step by FindNewestHost itself: the
// same function the launcher runs, so the verdicts can't drift from it.
#include "Checks.h"

#include "Output.h"
#include "PlayerLauncher.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kPlayersKey[] = L"SOFTWARE\\Quillon\\Orvalis\\Players";
const DWORD kNoIndex = MAXDWORD;

// "<launcher>: shows "<message>" and exits with -1".
void EmitShows(const WCHAR* launcher, const WCHAR* message)
{
    WideBuffer line;
    Put(line, {launcher, L": shows \"", message, L"\" and exits with -1"});
    Emit(line);
}

#ifdef _WIN64
const WCHAR kThisView[] = L"64-bit";
const WCHAR kOtherView[] = L"32-bit";
const REGSAM kOtherViewFlag = KEY_WOW64_32KEY;
#else
const WCHAR kThisView[] = L"32-bit";
const WCHAR kOtherView[] = L"64-bit";
const REGSAM kOtherViewFlag = KEY_WOW64_64KEY;
#endif

// The discovery runs twice: the first run finds the chosen value and the
// column widths, the second prints, when every verdict can name the chosen one.
struct Discovery
{
    HKEY key;  // the players key in this view, for the types of non-strings
    bool printing;
    DWORD index;
    DWORD chosenIndex;
    VersionQuad chosenVersion;
    DWORD nameWidth;
    DWORD registeredWidth;
};

void PutName(WideBuffer& line, const WCHAR* name, DWORD width)
{
    PutPadded(line, name[0] != 0 ? name : L"(default)", width);
}

// The registered text as the launcher reads it, or what the data is when
// it is not a terminated string.
void PutRegistered(WideBuffer& line, HKEY key, const WCHAR* name, const BYTE* data, DWORD bytes,
                   bool terminated)
{
    if (terminated)
    {
        Put(line, reinterpret_cast<const WCHAR*>(data));
        return;
    }
    DWORD type = REG_NONE;
    if (key == NULL || RegQueryValueExW(key, name, NULL, &type, NULL, NULL) != ERROR_SUCCESS)
        type = REG_NONE;
    Put(line, L"(");
    PutRegistryType(line, type);
    Put(line, L", ");
    PutNumber(line, bytes);
    Put(line, bytes == 1 ? L" byte)" : L" bytes)");
}

bool IsZero(const VersionQuad& v)
{
    return v.major == 0 && v.minor == 0 && v.build == 0 && v.revision == 0;
}

void PutVerdict(WideBuffer& line, const Discovery& d, InstallationOutcome outcome,
                const WCHAR* hostPath, const VersionQuad& version)
{
    switch (outcome)
    {
    case InstallationNotTerminated: Put(line, L"data is not a terminated string"); return;
    case InstallationNotQualified:
    case InstallationNoFolder: Put(line, L"not a fully qualified path"); return;
    case InstallationNoSuchFile: Put(line, L"no such file"); return;
    case InstallationFolder: Put(line, L"a folder"); return;
    case InstallationNoMemory: Put(line, L"not enough memory to examine it"); return;
    case InstallationNoVersion:
    {
        // The launcher only fails to read a version; whether the file is
        // there at all tells the user which of two things to fix.
        DWORD attributes = GetFileAttributesW(hostPath);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            Put(line, L"the host file is missing");
        else
            Put(line, L"the host has no readable version");
        return;
    }
    case InstallationNotNewer:
    case InstallationNewest: break;
    }
    if (IsZero(version))
    {
        Put(line, L"the version is 0.0.0.0");
        return;
    }
    PutVersion(line, version.major, version.minor, version.build, version.revision);
    if (d.index == d.chosenIndex)
        return;
    Put(line, L": not higher than the chosen one's");
    if (d.chosenIndex != kNoIndex && CompareVersions(&version, &d.chosenVersion) == VersionEqual)
        Put(line, L" (equal: the first enumerated wins)");
}

void Examined(void* context, const WCHAR* name, const BYTE* data, DWORD bytes,
              InstallationOutcome outcome, const WCHAR* hostPath, const VersionQuad* version)
{
    Discovery& d = *static_cast<Discovery*>(context);
    bool terminated = outcome != InstallationNotTerminated;
    if (!d.printing)
    {
        if (outcome == InstallationNewest)
        {
            d.chosenIndex = d.index;
            d.chosenVersion = *version;
        }
        DWORD nameUnits = name[0] != 0 ? TextUnits(name) : 9;
        if (nameUnits > d.nameWidth)
            d.nameWidth = nameUnits;
        WideBuffer registered;
        PutRegistered(registered, d.key, name, data, bytes, terminated);
        if (TextUnits(registered.text) > d.registeredWidth)
            d.registeredWidth = TextUnits(registered.text);
    }
    else
    {
        WideBuffer line;
        Put(line, d.index == d.chosenIndex ? L"* " : L"  ");
        PutName(line, name, d.nameWidth + 2);
        WideBuffer registered;
        PutRegistered(registered, d.key, name, data, bytes, terminated);
        PutPadded(line, registered.text != NULL ? registered.text : L"", d.registeredWidth + 2);
        PutVerdict(line, d, outcome, hostPath, *version);
        Emit(line);
    }
    ++d.index;
}

void PutViewHeading(WideBuffer& line, const WCHAR* view)
{
    Put(line, L"HKLM\\");
    Put(line, kPlayersKey);
    Put(line, L", ");
    Put(line, view);
    Put(line, L" view");
}

// What the launcher does with the chosen host: load it, find an entry point.
// True when it would get as far as calling the host.
bool ReportHandOver(const WCHAR* chosen, const VersionQuad& best, bool load)
{
    WideBuffer line;
    Put(line, L"OrvalisOpen: loads ");
    Put(line, chosen);
    Put(line, L" (");
    PutVersion(line, best.major, best.minor, best.build, best.revision);
    Put(line, L")");
    Emit(line);
    if (!load)
    {
        EmitText(L"OrvalisOpen: entry point not checked: --load finds it by loading the host, "
                 L"which runs the host's start-up code");
        return true;
    }
    EmitText(L"OrvalisCheck: loading the host (--load), which runs the host's start-up code");
    ModuleGuard host(LoadLibraryW(chosen));
    if (host.get() == NULL)
    {
        EmitShows(L"OrvalisOpen", kHostNotOpened);
        return false;
    }
    if (BIND_PROC(host.get(), OrvalisHostW) != NULL)
    {
        EmitText(L"OrvalisOpen: calls " L"OrvalisHostW" L"; the host's result is the exit code");
        return true;
    }
    if (BIND_PROC(host.get(), OrvalisHost) != NULL)
    {
        EmitText(L"OrvalisOpen: calls " L"OrvalisHost" L" with ANSI text; the host's result is "
                 L"the exit code");
        return true;
    }
    EmitText(L"OrvalisOpen: finds neither OrvalisHostW nor OrvalisHost and exits with -2");
    return false;
}

void CheckOtherView()
{
    WideBuffer line;
    Put(line, L"Only in the ");
    PutViewHeading(line, kOtherView);
    Put(line, L", invisible to ");
    Put(line, kThisView);
    Put(line, L" launchers:");

    KeyGuard other;
    DWORD nameUnits = 0;
    DWORD dataBytes = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, KEY_READ | kOtherViewFlag,
                      other.put()) != ERROR_SUCCESS)
    {
        Put(line, L" none (no such key)");
        Emit(line);
        return;
    }
    if (RegQueryInfoKeyW(other.get(), NULL, NULL, NULL, NULL, NULL, NULL, NULL, &nameUnits,
                         &dataBytes, NULL, NULL) != ERROR_SUCCESS ||
        nameUnits >= MAXDWORD / 4 || dataBytes >= MAXDWORD / 2)
    {
        Put(line, L" the key can't be read");
        Emit(line);
        return;
    }
    KeyGuard mine;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, KEY_READ, mine.put());
    // Name, then the data with room for a terminator the registry didn't store.
    LocalGuard block(LocalAlloc(LMEM_FIXED, 2 * nameUnits + 2 + dataBytes + 4));
    if (block.get() == NULL)
    {
        Put(line, L" not enough memory");
        Emit(line);
        return;
    }
    WCHAR* name = static_cast<WCHAR*>(block.get());
    BYTE* data = static_cast<BYTE*>(block.get()) + 2 * nameUnits + 2;

    // First the widths and whether there is anything, then the lines.
    DWORD width = 4;
    DWORD listed = 0;
    for (int printing = 0; printing < 2; ++printing)
    {
        if (printing && listed == 0)
            break;
        if (printing)
        {
            Emit(line);
            Put(line, L"  ");
            PutPadded(line, L"NAME", width + 2);
            Put(line, L"REGISTERED");
            Emit(line);
        }
        for (DWORD index = 0;; ++index)
        {
            DWORD nameCapacity = nameUnits + 1;
            DWORD dataCapacity = dataBytes;
            DWORD type = REG_NONE;
            if (RegEnumValueW(other.get(), index, name, &nameCapacity, NULL, &type, data,
                              &dataCapacity) != ERROR_SUCCESS)
                break;
            if (mine.get() != NULL &&
                RegQueryValueExW(mine.get(), name, NULL, NULL, NULL, NULL) != ERROR_FILE_NOT_FOUND)
                continue;
            if (!printing)
            {
                ++listed;
                DWORD units = name[0] != 0 ? nameCapacity : 9;
                if (units > width)
                    width = units;
                continue;
            }
            WideBuffer row;
            Put(row, L"  ");
            PutName(row, name, width + 2);
            if (type == REG_SZ || type == REG_EXPAND_SZ)
            {
                // Ended here for display only, within the room kept for it.
                data[dataCapacity] = 0;
                data[dataCapacity + 1] = 0;
                data[dataCapacity + 2] = 0;
                Put(row, reinterpret_cast<const WCHAR*>(data));
            }
            else
            {
                Put(row, L"(");
                PutRegistryType(row, type);
                Put(row, L")");
            }
            Emit(row);
        }
    }
    if (listed == 0)
    {
        Put(line, L" none");
        Emit(line);
    }
}

}  // namespace

bool CheckPlayers(bool load)
{
    Discovery d = {NULL, false, 0, kNoIndex, {0, 0, 0, 0}, 4, 10};
    KeyGuard key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, KEY_READ, key.put());
    d.key = key.get();

    WideBuffer line;
    Put(line, L"Players: ");
    PutViewHeading(line, kThisView);
    if (key.get() == NULL)
        Put(line, L": no such key");
    Emit(line);

    InstallationObserver observer = {&d, Examined};
    WideBuffer chosen;
    VersionQuad best;
    FindNewestHost(chosen, &best, &observer);
    if (d.index != 0)
    {
        d.printing = true;
        d.index = 0;
        Put(line, L"  ");
        PutPadded(line, L"NAME", d.nameWidth + 2);
        PutPadded(line, L"REGISTERED", d.registeredWidth + 2);
        Put(line, L"VERDICT");
        Emit(line);
        // The report's own run; its chosen host is the one reported below.
        FindNewestHost(chosen, &best, &observer);
        if (d.chosenIndex != kNoIndex)
            EmitText(L"  (* = the one OrvalisOpen chooses)");
    }
    else if (key.get() != NULL)
    {
        EmitText(L"  no values");
    }

    EmitText(L"");
    CheckOtherView();
    EmitText(L"");
    if (chosen.text == NULL)
    {
        EmitShows(L"OrvalisOpen", kHostNotFound);
        return false;
    }
    return ReportHandOver(chosen.text, best, load);
}

