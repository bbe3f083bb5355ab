// The player launcher's work: find the registered installation whose host
// library carries the highest file version and hand it the command line.
#ifndef ORVALISOPEN_PLAYER_LAUNCHER_H
#define ORVALISOPEN_PLAYER_LAUNCHER_H

#include <windows.h>

#include "OrvalisHost.h"
#include "StringBuffers.h"

// Under HKEY_LOCAL_MACHINE: one value per registered installation.
const WCHAR kPlayersKeyPath[] = L"SOFTWARE\\Quillon\\Orvalis\\Players";

// A file version, fields in the order they are compared.
struct VersionQuad
{
    WORD major;
    WORD minor;
    WORD build;
    WORD revision;
};

// Reads the file version from path's fixed file information. Each non-null
// pointer receives its field, or 0 when the version could not be read.
bool ReadFileVersion(const WCHAR* path, WORD* major, WORD* minor, WORD* build, WORD* revision);

// CompareVersions' results, as their values are fixed: 1, 2 and 3.
enum VersionOrder
{
    VersionLower = 1,
    VersionEqual = 2,
    VersionHigher = 3
};

// Whether a is lower than, equal to or higher than b; a missing record ranks
// below any given one.
int CompareVersions(const VersionQuad* a, const VersionQuad* b);

// Why a registered value was passed over, or that it became the newest so far.
enum InstallationOutcome
{
    InstallationNotTerminated,  // the data is not a string ended within its bytes
    InstallationNotQualified,   // not a fully qualified path
    InstallationNoSuchFile,
    InstallationFolder,
    InstallationNoFolder,  // no backslash, so no installation folder
    InstallationNoMemory,
    InstallationNoVersion,  // the host library's version could not be read
    InstallationNotNewer,   // read, but not strictly higher than the best so far
    InstallationNewest      // strictly higher: now the chosen one
};

// Told about each value in enumeration order, by a diagnostic tool; the
// launcher passes none. hostPath is the host library's path for the last
// three outcomes. view is the registry view flag the players key is opened
// with (0: the launcher's own view).
struct InstallationObserver
{
    void* context;
    REGSAM view;
    void (*examined)(void* context, const WCHAR* name, const BYTE* data, DWORD bytes,
                     InstallationOutcome outcome, const WCHAR* hostPath,
                     const VersionQuad* version);
};

// Examines every registered installation and sets chosen to the host library
// of the first one with the highest version above 0.0.0.0. False when chosen
// ends up unset. best, if given, receives the highest version recorded;
// visible for tests and the diagnostic tool, which report it.
bool FindNewestHost(WideBuffer& chosen, VersionQuad* best,
                    const InstallationObserver* observer = NULL);

// The whole run: discovery, the hand-over and the error messages. Returns the
// exit code.
int RunPlayerLauncher(HINSTANCE instance);

#endif
