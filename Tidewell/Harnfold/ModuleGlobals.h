// The setup library's module globals, written once when the library is
// attached to a process and only read afterwards.
#ifndef HARNFOLD_MODULE_GLOBALS_H
#define HARNFOLD_MODULE_GLOBALS_H

#include <windows.h>

#include "PathUnits.h"

// The library's own module handle; the literal Desktop.ini loads its texts from it.
extern HINSTANCE ModuleInstance;
// The library's full path, or the empty string when it can't be had whole.
extern WCHAR ModulePath[kPathUnits];

// DllMain's work: on process attach, records the handle and the path.
void RecordModule(HINSTANCE module, DWORD reason);

#endif
