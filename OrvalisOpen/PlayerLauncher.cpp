#include "PlayerLauncher.h"

#include "FullPath.h"
#include "HostHandOver.h"
#include "OrvalisHost.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kCaption[] = L"OrvalisOpen";

// The fixed file information must lie wholly inside the block it came from
// and be complete; a malformed resource could claim anything.
bool FixedInfoInside(const void* block, DWORD blockBytes, const void* info, UINT infoBytes)
{
    if (info == NULL || infoBytes < sizeof(VS_FIXEDFILEINFO))
        return false;
    ULONG_PTR start = reinterpret_cast<ULONG_PTR>(block);
    ULONG_PTR at = reinterpret_cast<ULONG_PTR>(info);
    return at >= start && infoBytes <= blockBytes && at - start <= blockBytes - infoBytes;
}

// The value's data as a UTF-16 string, or null when no 16-bit zero ends it
// within the bytes delivered. A trailing odd byte is not part of any unit.
const WCHAR* TerminatedText(const BYTE* data, DWORD bytes)
{
    const WCHAR* units = reinterpret_cast<const WCHAR*>(data);
    for (DWORD i = 0; i < bytes / sizeof(WCHAR); ++i)
        if (units[i] == 0)
            return units;
    return NULL;
}

// One registered file: its installation's host library becomes the chosen
// one when its version is strictly higher than the best so far. The caller
// owns the candidate path and the version, so that it can report them.
InstallationOutcome ExamineInstallation(const WCHAR* registered, WideBuffer& candidate,
                                        VersionQuad& version, WideBuffer& chosen, VersionQuad& best)
{
    // A relative path would be tested against the current folder, while the
    // host library beside it would be loaded through the search order: the
    // version read and the library loaded could be different files.
    if (!IsFullyQualifiedPath(registered))
        return InstallationNotQualified;
    DWORD attributes = GetFileAttributesW(registered);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return InstallationNoSuchFile;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return InstallationFolder;
    candidate.Assign(registered);
    if (candidate.text == NULL)
        return InstallationNoMemory;
    WCHAR* lastBackslash = NULL;
    for (WCHAR* p = candidate.text; *p != 0; ++p)
        if (*p == L'\\')
            lastBackslash = p;
    if (lastBackslash == NULL)
        return InstallationNoFolder;
    lastBackslash[1] = 0;
    // A failed append leaves the folder path, from which no version can be read.
    candidate.Append(kHostRelativePath);
    if (!ReadFileVersion(candidate.text, &version.major, &version.minor, &version.build,
                         &version.revision))
        return InstallationNoVersion;
    if (CompareVersions(&version, &best) != VersionHigher)
        return InstallationNotNewer;
    best = version;
    chosen.AssignFrom(candidate);
    return InstallationNewest;
}

// Examines every value of the open key, in enumeration order.
void EnumerateInstallations(HKEY key, WideBuffer& chosen, VersionQuad& best,
                            const InstallationObserver* observer)
{
    DWORD nameUnits = 0;
    DWORD dataBytes = 0;
    if (RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &nameUnits, &dataBytes,
                         NULL, NULL) != ERROR_SUCCESS)
        return;
    // Sizes no registry reports, whose block size would wrap: as if the
    // allocation had failed.
    if (nameUnits >= MAXDWORD / 2 || dataBytes > MAXDWORD - 2 * nameUnits - 2)
        return;
    // One block for the whole enumeration: a name area of n + 1 units, then
    // a data area of exactly d bytes.
    LocalGuard block(LocalAlloc(LMEM_FIXED, dataBytes + 2 * nameUnits + 2));
    if (!block.valid())
        return;
    WCHAR* name = static_cast<WCHAR*>(block.get());
    BYTE* data = static_cast<BYTE*>(block.get()) + 2 * nameUnits + 2;
    for (DWORD index = 0;; ++index)
    {
        DWORD nameCapacity = nameUnits + 1;
        DWORD dataCapacity = dataBytes;
        if (RegEnumValueW(key, index, name, &nameCapacity, NULL, NULL, data, &dataCapacity) !=
            ERROR_SUCCESS)
            return;
        // Data without its own terminator is skipped, never ended here: it
        // may fill the data area to its last byte, and ending it only when
        // there happens to be room would make a value's fate depend on the
        // size of its neighbours.
        const WCHAR* registered = TerminatedText(data, dataCapacity);
        WideBuffer candidate;
        VersionQuad version = {0, 0, 0, 0};
        InstallationOutcome outcome =
            registered != NULL ? ExamineInstallation(registered, candidate, version, chosen, best)
                               : InstallationNotTerminated;
        if (observer != NULL)
            observer->examined(observer->context, name, data, dataCapacity, outcome, candidate.text,
                               &version);
    }
}

}  // namespace

bool ReadFileVersion(const WCHAR* path, WORD* major, WORD* minor, WORD* build, WORD* revision)
{
    VersionQuad version = {0, 0, 0, 0};
    bool read = false;
    DWORD ignored = 0;
    DWORD size = path != NULL ? GetFileVersionInfoSizeW(path, &ignored) : 0;
    if (size != 0)
    {
        LocalGuard info(LocalAlloc(LMEM_FIXED, size));
        if (info.valid())
        {
            void* fixed = NULL;
            UINT fixedBytes = 0;
            if (GetFileVersionInfoW(path, 0, size, info.get()) &&
                VerQueryValueW(info.get(), L"\\", &fixed, &fixedBytes) &&
                FixedInfoInside(info.get(), size, fixed, fixedBytes))
            {
                const VS_FIXEDFILEINFO* f = static_cast<const VS_FIXEDFILEINFO*>(fixed);
                version.major = HIWORD(f->dwFileVersionMS);
                version.minor = LOWORD(f->dwFileVersionMS);
                version.build = HIWORD(f->dwFileVersionLS);
                version.revision = LOWORD(f->dwFileVersionLS);
                read = true;
            }
        }
    }
    if (major != NULL)
        *major = version.major;
    if (minor != NULL)
        *minor = version.minor;
    if (build != NULL)
        *build = version.build;
    if (revision != NULL)
        *revision = version.revision;
    return read;
}

int CompareVersions(const VersionQuad* a, const VersionQuad* b)
{
    if (a == NULL || b == NULL)
        return a == b ? VersionEqual : (a == NULL ? VersionLower : VersionHigher);
    const WORD left[4] = {a->major, a->minor, a->build, a->revision};
    const WORD right[4] = {b->major, b->minor, b->build, b->revision};
    for (int i = 0; i < 4; ++i)
        if (left[i] != right[i])
            return left[i] < right[i] ? VersionLower : VersionHigher;
    return VersionEqual;
}

bool FindNewestHost(WideBuffer& chosen, VersionQuad* bestOut, const InstallationObserver* observer)
{
    VersionQuad best = {0, 0, 0, 0};
    chosen.Release();
    {
        KeyGuard key;
        REGSAM view = observer != NULL ? observer->view : 0;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKeyPath, 0, KEY_READ | view, key.put()) ==
            ERROR_SUCCESS)
            EnumerateInstallations(key.get(), chosen, best, observer);
    }
    if (bestOut != NULL)
        *bestOut = best;
    return chosen.text != NULL;
}

int RunPlayerLauncher(HINSTANCE instance)
{
    WideBuffer chosen;
    if (!FindNewestHost(chosen, NULL))
    {
        ShowLauncherError(kHostNotFound, kCaption);
        return kExitNoHost;
    }
    WideBuffer commandLine;
    CopyCommandLine(commandLine);
    ModuleGuard host(LoadLibraryW(chosen.text));
    if (!host.valid())
    {
        ShowLauncherError(kHostNotOpened, kCaption);
        return kExitNoHost;
    }
    int result = kExitNoEntry;
    if (!CallHostW(host.get(), NULL, commandLine.text, instance, chosen.text, &result))
    {
        NarrowBuffer narrowCommandLine(CP_ACP);
        NarrowBuffer narrowPath(CP_ACP);
        narrowCommandLine.AssignFromWide(commandLine.text);
        narrowPath.AssignFromWide(chosen.text);
        OrvalisHostProc entry = BIND_PROC(host.get(), OrvalisHost);
        if (entry != NULL)
            result =
                entry(NULL, narrowCommandLine.text, instance, kHostMode, narrowPath.text, 0, 0);
        // The path's copy goes first, then the command line's.
        narrowPath.Release();
        narrowCommandLine.Release();
    }
    host.reset();  // unloaded before the command line it was handed is released
    return result;
}
