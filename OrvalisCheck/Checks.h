// The sections of the report, each as the deliverable in question would see
// this machine.
#ifndef ORVALISCHECK_CHECKS_H
#define ORVALISCHECK_CHECKS_H

#include <windows.h>

#include "PathUnits.h"
#include "ScopeGuards.h"

inline void ReleaseContext(HANDLE context) { ReleaseActCtx(context); }
typedef ScopedHandle<HANDLE, ReleaseContext, -1> ContextGuard;  // INVALID_HANDLE_VALUE: none

// The players key in this build's registry view, one line per value, the
// values that only the other view holds, and what OrvalisOpen would do;
// with `load` the chosen host is loaded in a child process to find its entry
// point. True when OrvalisOpen would reach a host.
bool CheckPlayers(bool load);

// The host path that the Tidewell.exe at `program` would load.
void CheckTidewell(const WCHAR* program);

// The data folder that Install would use and why, its Desktop.ini and the
// installation count.
void CheckSetup();

// The imported libraries of the host at hostPath that a launcher in
// programFolder would not find, one line each, after `label`.
void CheckHostImports(const WCHAR* label, const WCHAR* programFolder, const WCHAR* hostPath);

// What loading the host as OrvalisOpen loads it ends in.
enum LoadOutcome
{
    LoadFoundWide,     // loaded; exports OrvalisHostW
    LoadFoundNarrow,   // loaded; exports only OrvalisHost
    LoadFoundNeither,  // loaded; exports neither
    LoadFailed,        // LoadLibraryW failed; detail: the error code
    LoadEndedProcess,  // the host's start-up code ended the process; detail: its exit code
    LoadCrashed,       // ...raised an exception nothing handled; detail: its code
    LoadTimedOut,      // it did not finish within kLoadSeconds
    LoadNoLauncher,    // OrvalisOpen.exe is not beside this program
    LoadNotStarted     // the child process could not be started; detail: the error code
};

// How long the host's start-up code may take.
const DWORD kLoadSeconds = 8;

// Loads the host in a child process of this program, with OrvalisOpen's
// manifest active and this program's folder (OrvalisOpen's) first in the
// search order. detail as each outcome says.
LoadOutcome LoadHostInChild(const WCHAR* hostPath, DWORD* detail);

// Creates OrvalisOpen's manifest's activation context (and activates it when
// `cookie` is given). 0, or the error.
DWORD ActivateLauncherManifest(ContextGuard& context, ULONG_PTR* cookie);

// The child's side: loads the host, writes the outcome to standard output
// and returns the exit code.
int RunLoadChild(const WCHAR* hostPath);

// This program's folder, with its trailing backslash; false when its path
// can't be had whole.
bool GetProgramFolder(WCHAR (&folder)[kPathUnits]);

#endif
