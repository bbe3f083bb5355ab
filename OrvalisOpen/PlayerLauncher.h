// The player launcher's work: find the registered installation whose host
// library carries the highest file version and hand it the command line.
#ifndef ORVALISOPEN_PLAYER_LAUNCHER_H
#define ORVALISOPEN_PLAYER_LAUNCHER_H

#include <windows.h>

#include "StringBuffers.h"

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

// 1 when a is lower than b, 2 when equal, 3 when higher; a missing record
// ranks below any given one.
int CompareVersions(const VersionQuad* a, const VersionQuad* b);

// Examines every registered installation and sets chosen to the host library
// of the first one with the highest version above 0.0.0.0. False when chosen
// ends up unset. best, if given, receives the highest version recorded.
bool FindNewestHost(WideBuffer& chosen, VersionQuad* best);

// The whole run: discovery, the hand-over and the error messages. Returns the
// exit code.
int RunPlayerLauncher(HINSTANCE instance);

#endif
