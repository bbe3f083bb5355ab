// OrvalisOpen's discovery, told value by value by FindNewestHost itself: the
// same function the launcher runs, once for this view and once for the other,
// so the verdicts can't drift from it. Rows are collected, then printed.
#include "Checks.h"

#include "FileKind.h"
#include "Output.h"
#include "PlayerLauncher.h"
#include "ScopeGuards.h"

namespace
{

const DWORD kNoIndex = MAXDWORD;
const SIZE_T kFirstStoreBytes = 4096;
const WCHAR kDefaultName[] = L"<default>";

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

// A growing block of records or texts, addressed by offset.
struct Store
{
    LocalGuard block;
    SIZE_T used = 0;
    SIZE_T capacity = 0;
};

// Adds n bytes; false, nothing added, when memory runs out.
bool Add(Store& store, const void* bytes, SIZE_T n, SIZE_T* at)
{
    if (n > store.capacity - store.used)
    {
        SIZE_T capacity = store.capacity != 0 ? store.capacity : kFirstStoreBytes;
        while (capacity - store.used < n)
        {
            if (capacity > static_cast<SIZE_T>(-1) / 2)
                return false;
            capacity *= 2;
        }
        HLOCAL grown = store.block.get() == NULL
                           ? LocalAlloc(LMEM_FIXED, capacity)
                           : LocalReAlloc(store.block.get(), capacity, LMEM_MOVEABLE);
        if (grown == NULL)
            return false;
        store.block.release();
        store.block.reset(grown);
        store.capacity = capacity;
    }
    if (n != 0)
        CopyMemory(static_cast<BYTE*>(store.block.get()) + store.used, bytes, n);
    *at = store.used;
    store.used += n;
    return true;
}

bool AddText(Store& store, const WCHAR* text, SIZE_T* at)
{
    return text != NULL && Add(store, text, (TextUnits(text) + 1) * sizeof(WCHAR), at);
}

// One registered value as FindNewestHost judged it.
struct Row
{
    SIZE_T name;        // in texts: the name as shown
    SIZE_T registered;  // in texts: the registered file as shown, or what the data is
    SIZE_T rawName;     // in texts: the name as the registry gave it
    SIZE_T rawData;     // in data: the bytes the registry gave
    DWORD rawDataBytes;
    InstallationOutcome outcome;
    VersionQuad version;
    bool hostExists;  // for a host without a readable version
};

struct Collection
{
    KeyGuard key;  // the players key in the view searched, for the types of non-strings
    Store rows;
    Store texts;
    Store data;
    DWORD count = 0;
    DWORD chosen = kNoIndex;
    VersionQuad chosenVersion = {0, 0, 0, 0};
    bool complete = true;  // false when a row could not be kept
};

const Row& RowAt(const Collection& c, DWORD index)
{
    return static_cast<const Row*>(c.rows.block.get())[index];
}

const WCHAR* TextAt(const Collection& c, SIZE_T at)
{
    return reinterpret_cast<const WCHAR*>(static_cast<const BYTE*>(c.texts.block.get()) + at);
}

// The registered text as the launcher reads it, or what the data is when
// it is not a terminated string.
void PutRegistered(WideBuffer& cell, HKEY key, const WCHAR* name, const BYTE* data, DWORD bytes,
                   bool terminated)
{
    if (terminated)
    {
        PutShown(cell, reinterpret_cast<const WCHAR*>(data));
        return;
    }
    DWORD type = REG_NONE;
    if (key == NULL || RegQueryValueExW(key, name, NULL, &type, NULL, NULL) != ERROR_SUCCESS)
        type = REG_NONE;
    Put(cell, L"(");
    PutRegistryType(cell, type);
    Put(cell, L", ");
    PutNumber(cell, bytes);
    Put(cell, bytes == 1 ? L" byte)" : L" bytes)");
}

void Collect(void* context, const WCHAR* name, const BYTE* data, DWORD bytes,
             InstallationOutcome outcome, const WCHAR* hostPath, const VersionQuad* version)
{
    Collection& c = *static_cast<Collection*>(context);
    Row row;
    ZeroMemory(&row, sizeof row);
    row.outcome = outcome;
    row.version = *version;
    row.rawDataBytes = bytes;
    row.hostExists = outcome == InstallationNoVersion && IsExistingFile(hostPath);
    WideBuffer shownName;
    if (name[0] == 0)
        Put(shownName, kDefaultName);
    else
        PutShown(shownName, name);
    WideBuffer registered;
    PutRegistered(registered, c.key.get(), name, data, bytes, outcome != InstallationNotTerminated);
    SIZE_T at = 0;
    if (!AddText(c.texts, shownName.text, &row.name) ||
        !AddText(c.texts, registered.text, &row.registered) ||
        !AddText(c.texts, name, &row.rawName) || !Add(c.data, data, bytes, &row.rawData) ||
        !Add(c.rows, &row, sizeof row, &at))
    {
        c.complete = false;
        return;
    }
    if (outcome == InstallationNewest)
    {
        c.chosen = c.count;
        c.chosenVersion = *version;
    }
    ++c.count;
}

// Runs the launcher's search in one view. False when the key isn't there.
bool CollectView(Collection& c, REGSAM view, WideBuffer& chosen, VersionQuad& best)
{
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKeyPath, 0, KEY_READ | view, c.key.put());
    InstallationObserver observer = {&c, view, Collect};
    FindNewestHost(chosen, &best, &observer);
    return c.key.get() != NULL;
}

bool IsZero(const VersionQuad& v)
{
    return v.major == 0 && v.minor == 0 && v.build == 0 && v.revision == 0;
}

void PutVerdict(WideBuffer& line, const Collection& c, DWORD index)
{
    const Row& row = RowAt(c, index);
    switch (row.outcome)
    {
    case InstallationNotTerminated: Put(line, L"data is not a terminated string"); return;
    case InstallationNotQualified:
    case InstallationNoFolder: Put(line, L"not a fully qualified path"); return;
    case InstallationNoSuchFile: Put(line, L"no such file"); return;
    case InstallationFolder: Put(line, L"a folder"); return;
    case InstallationNoMemory: Put(line, L"not enough memory to examine it"); return;
    case InstallationNoVersion:
        // The launcher only fails to read a version; whether the file is
        // there at all tells the user which of two things to fix.
        Put(line,
            row.hostExists ? L"the host has no readable version" : L"the host file is missing");
        return;
    case InstallationNotNewer:
    case InstallationNewest: break;
    }
    if (IsZero(row.version))
    {
        Put(line, L"the version is 0.0.0.0");
        return;
    }
    PutVersion(line, row.version.major, row.version.minor, row.version.build, row.version.revision);
    if (index == c.chosen)
        return;
    Put(line, L": not higher than the chosen one's");
    if (c.chosen != kNoIndex && CompareVersions(&row.version, &c.chosenVersion) == VersionEqual)
        Put(line, L" (equal: the first enumerated wins)");
}

bool SameBytes(const void* a, const void* b, DWORD bytes)
{
    const BYTE* x = static_cast<const BYTE*>(a);
    const BYTE* y = static_cast<const BYTE*>(b);
    for (DWORD i = 0; i < bytes; ++i)
        if (x[i] != y[i])
            return false;
    return true;
}

// Whether `mine` holds a value of the same name with the same data.
bool HeldAlike(const Collection& mine, const Collection& other, DWORD index)
{
    const Row& row = RowAt(other, index);
    const BYTE* data = static_cast<const BYTE*>(other.data.block.get()) + row.rawData;
    for (DWORD i = 0; i < mine.count; ++i)
    {
        const Row& candidate = RowAt(mine, i);
        if (lstrcmpiW(TextAt(mine, candidate.rawName), TextAt(other, row.rawName)) == 0)
            return candidate.rawDataBytes == row.rawDataBytes &&
                   SameBytes(static_cast<const BYTE*>(mine.data.block.get()) + candidate.rawData,
                             data, row.rawDataBytes);
    }
    return false;
}

// The table: a header, then a row a value, `*` marking the chosen one. With
// `alike`, the values it holds alike are left out. Returns the rows printed.
DWORD PrintRows(const Collection& c, const Collection* alike)
{
    DWORD nameWidth = 4;
    DWORD registeredWidth = 10;
    DWORD printed = 0;
    for (DWORD i = 0; i < c.count; ++i)
    {
        if (alike != NULL && HeldAlike(*alike, c, i))
            continue;
        const Row& row = RowAt(c, i);
        DWORD name = DisplayWidth(TextAt(c, row.name));
        DWORD registered = DisplayWidth(TextAt(c, row.registered));
        nameWidth = name > nameWidth ? name : nameWidth;
        registeredWidth = registered > registeredWidth ? registered : registeredWidth;
        ++printed;
    }
    if (printed == 0)
        return 0;
    WideBuffer line;
    Put(line, L"  ");
    PutPadded(line, L"NAME", nameWidth + 2);
    PutPadded(line, L"REGISTERED", registeredWidth + 2);
    Put(line, L"VERDICT");
    Emit(line);
    for (DWORD i = 0; i < c.count; ++i)
    {
        if (alike != NULL && HeldAlike(*alike, c, i))
            continue;
        const Row& row = RowAt(c, i);
        Put(line, i == c.chosen ? L"* " : L"  ");
        PutPadded(line, TextAt(c, row.name), nameWidth + 2);
        PutPadded(line, TextAt(c, row.registered), registeredWidth + 2);
        PutVerdict(line, c, i);
        Emit(line);
    }
    if (!c.complete)
        EmitText(L"  (not enough memory to list every value)");
    return printed;
}

void PutViewHeading(WideBuffer& line, const WCHAR* view)
{
    Put(line, {L"HKLM\\", kPlayersKeyPath, L", ", view, L" view"});
}

void CheckOtherView(const Collection& mine)
{
    WideBuffer line;
    Put(line, L"Only in the ");
    PutViewHeading(line, kOtherView);
    Put(line, {L", invisible to ", kThisView, L" launchers:"});
    Collection other;
    WideBuffer chosen;
    VersionQuad best;
    if (!CollectView(other, kOtherViewFlag, chosen, best))
    {
        Put(line, L" none (no such key)");
        Emit(line);
        return;
    }
    DWORD shown = 0;
    for (DWORD i = 0; i < other.count; ++i)
        shown += HeldAlike(mine, other, i) ? 0 : 1;
    if (shown == 0)
    {
        Put(line, L" none");
        Emit(line);
        return;
    }
    Emit(line);
    PrintRows(other, &mine);
    if (other.chosen != kNoIndex && !HeldAlike(mine, other, other.chosen))
    {
        Put(line, {L"  (* = the one a ", kOtherView, L" OrvalisOpen would choose)"});
        Emit(line);
    }
}

// Each outcome of --load as one line: text, the detail (a number, in hex or
// not, or none), text.
enum DetailForm
{
    DetailNone,
    DetailDecimal,
    DetailHex
};

struct LoadLine
{
    const WCHAR* before;
    DetailForm form;
    const WCHAR* after;
};

// In the order of LoadOutcome.
const LoadLine kLoadLines[] = {
    {L"OrvalisOpen: calls OrvalisHostW; the host's result is the exit code", DetailNone, L""},
    {L"OrvalisOpen: calls OrvalisHost with ANSI text; the host's result is the exit code",
     DetailNone, L""},
    {L"OrvalisOpen: finds neither OrvalisHostW nor OrvalisHost and exits with -2", DetailNone, L""},
    {L"OrvalisCheck: the loader's error was ", DetailDecimal, L""},
    {L"OrvalisOpen: the host ended its process while loading, with exit code ", DetailDecimal, L""},
    {L"OrvalisOpen: the host crashed while loading (exception ", DetailHex, L")"},
    {L"OrvalisOpen: the host did not finish loading within ", DetailDecimal, L" s"},
    {L"OrvalisCheck: not loaded: --load needs OrvalisOpen.exe beside OrvalisCheck.exe, to load "
     L"the host with its manifest and from its folder",
     DetailNone, L""},
    {L"OrvalisCheck: not loaded: its loading process could not be started (error ", DetailDecimal,
     L")"},
};
static_assert(sizeof kLoadLines / sizeof kLoadLines[0] == LoadNotStarted + 1,
              "a line for every outcome");

void ReportLoad(LoadOutcome outcome, DWORD detail)
{
    if (outcome == LoadFailed)
        EmitShows(L"OrvalisOpen", kHostNotOpened);
    if (outcome == LoadTimedOut)
        detail = kLoadSeconds;
    const LoadLine& l = kLoadLines[outcome];
    WideBuffer line;
    Put(line, l.before);
    if (l.form == DetailDecimal)
        PutNumber(line, static_cast<LONG>(detail));
    else if (l.form == DetailHex)
        PutHex(line, detail);
    Put(line, l.after);
    Emit(line);
}

// What the launcher does with the chosen host: load it, find an entry point.
// True when it would get as far as calling the host.
bool ReportHandOver(const WCHAR* chosen, const VersionQuad& best, bool load)
{
    WideBuffer line;
    Put(line, L"OrvalisOpen: loads ");
    PutShown(line, chosen);
    Put(line, L" (");
    PutVersion(line, best.major, best.minor, best.build, best.revision);
    Put(line, L")");
    Emit(line);
    WCHAR folder[kPathUnits];
    if (GetProgramFolder(folder))
        CheckHostImports(L"OrvalisOpen", folder, chosen);
    if (!load)
    {
        EmitText(L"OrvalisOpen: entry point not checked: --load finds it by loading the host, "
                 L"which runs the host's start-up code");
        return true;
    }
    EmitText(L"OrvalisCheck: loading the host (--load) in a process of its own, as OrvalisOpen "
             L"loads it; this runs the host's start-up code");
    ContextGuard manifest;
    DWORD error = ActivateLauncherManifest(manifest, NULL);
    if (error != ERROR_SUCCESS)
    {
        Put(line, L"OrvalisCheck: OrvalisOpen's manifest can't be activated here (error ");
        PutNumber(line, error);
        Put(line, L"): loaded without it, as the loader would start OrvalisOpen");
        Emit(line);
    }
    DWORD detail = 0;
    LoadOutcome outcome = LoadHostInChild(chosen, &detail);
    ReportLoad(outcome, detail);
    return outcome == LoadFoundWide || outcome == LoadFoundNarrow;
}

}  // namespace

bool CheckPlayers(bool load)
{
    Collection mine;
    WideBuffer chosen;
    VersionQuad best;
    bool present = CollectView(mine, 0, chosen, best);

    WideBuffer line;
    Put(line, L"Players: ");
    PutViewHeading(line, kThisView);
    if (!present)
        Put(line, L": no such key");
    Emit(line);
    if (PrintRows(mine, NULL) != 0)
    {
        if (mine.chosen != kNoIndex)
            EmitText(L"  (* = the one OrvalisOpen chooses)");
    }
    else if (present)
    {
        EmitText(L"  no values");
    }

    EmitText(L"");
    CheckOtherView(mine);
    EmitText(L"");
    if (chosen.text == NULL)
    {
        EmitShows(L"OrvalisOpen", kHostNotFound);
        return false;
    }
    return ReportHandOver(chosen.text, best, load);
}
