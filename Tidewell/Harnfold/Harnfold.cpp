#include "ModuleGlobals.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    RecordModule(instance, reason);
    return TRUE;
}
