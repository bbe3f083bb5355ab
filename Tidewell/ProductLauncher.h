// The product launcher's one sequence: hand the command line to the player
// host library in the Player folder beside this program.
#ifndef TIDEWELL_PRODUCT_LAUNCHER_H
#define TIDEWELL_PRODUCT_LAUNCHER_H

#include <windows.h>

#include "PathUnits.h"

enum HostPathStatus
{
    HostPathReady,       // the buffer holds the host library's full path
    HostPathUnreadable,  // GetModuleFileNameW failed
    HostPathTooLong      // the module path was cut, or its folder leaves no room for the host
};

// Rewrites this module's path, in place, into the path of the host library
// in the Player folder beside it. Never reads or writes past the buffer.
HostPathStatus MakeHostPathW(HINSTANCE instance, WCHAR (&hostPath)[kPathUnits]);

// The same for a module path of n units already in the buffer, as
// GetModuleFileNameW returned it (n of 260 means it was cut).
HostPathStatus PlaceHostPathW(WCHAR (&hostPath)[kPathUnits], DWORD n);

// Loads the host, calls it once and returns the exit code: the host's result,
// 0 when this module's path can't be read, -1 (after the error message) when
// the host can't be opened, -2 when it has no wide entry point.
int RunTidewell(HINSTANCE instance);

#endif
