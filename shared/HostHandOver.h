// The steps both launchers take around the host call.
#ifndef SHARED_HOST_HAND_OVER_H
#define SHARED_HOST_HAND_OVER_H

#include <windows.h>

#include "OrvalisHost.h"
#include "StringBuffers.h"

// Copies GetCommandLineW's text; a failed or empty first copy is made once
// more, and the second outcome stands (unset when both copies failed).
void CopyCommandLine(WideBuffer& commandLine);

// Calls the host's wide entry point once, if it exports one. False, with
// nothing called, when it does not.
bool CallHostW(HMODULE host, const WCHAR* product, const WCHAR* commandLine, HINSTANCE instance,
               const WCHAR* hostPath, int* result);

// A launcher's error message: no owner window, the error icon, one OK button.
void ShowLauncherError(const WCHAR* text, const WCHAR* caption);

#endif
