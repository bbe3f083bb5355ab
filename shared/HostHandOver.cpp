#include "HostHandOver.h"

#include "ScopeGuards.h"

void CopyCommandLine(WideBuffer& commandLine)
{
    commandLine.Assign(GetCommandLineW());
    if (commandLine.text == NULL || commandLine.text[0] == 0)
        commandLine.Assign(GetCommandLineW());
}

bool CallHostW(HMODULE host, const WCHAR* product, const WCHAR* commandLine, HINSTANCE instance,
               const WCHAR* hostPath, int* result)
{
    OrvalisHostWProc entry = BIND_PROC(host, OrvalisHostW);
    if (entry == NULL)
        return false;
    *result = entry(product, commandLine, instance, kHostMode, hostPath, 0, 0);
    return true;
}

void ShowLauncherError(const WCHAR* text, const WCHAR* caption)
{
    MessageBoxW(NULL, text, caption, MB_ICONERROR);
}
