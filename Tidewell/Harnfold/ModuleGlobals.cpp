#include "ModuleGlobals.h"

HINSTANCE ModuleInstance = NULL;
WCHAR ModulePath[kPathUnits] = L"";

void RecordModule(HINSTANCE module, DWORD reason)
{
    if (reason != DLL_PROCESS_ATTACH)
        return;
    ModuleInstance = module;
    DWORD length = GetModuleFileNameW(module, ModulePath, kPathUnits);
    // A result of kPathUnits means the path was cut (and may be unterminated):
    // written into Desktop.ini it would name a file that isn't there.
    if (length == 0 || length >= kPathUnits)
        ModulePath[0] = 0;
}
