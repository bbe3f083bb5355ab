#include "Harnfold.h"

HINSTANCE ModuleInstance = NULL;
WCHAR ModulePath[MAX_PATH] = L"";

void RecordModule(HINSTANCE module, DWORD reason)
{
    if (reason != DLL_PROCESS_ATTACH)
        return;
    ModuleInstance = module;
    DWORD length = GetModuleFileNameW(module, ModulePath, MAX_PATH);
    // A result of MAX_PATH means the path was cut (and may be unterminated):
    // written into Desktop.ini it would name a file that isn't there.
    if (length == 0 || length >= MAX_PATH)
        ModulePath[0] = 0;
}
