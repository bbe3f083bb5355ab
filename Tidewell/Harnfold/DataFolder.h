// Where the product keeps its data: the TIDEWELLDATA variable as the user's
// or the machine's environment stores it (or the process environment), else
// "CBM Files" in the shared documents folder of all users.
#ifndef HARNFOLD_DATA_FOLDER_H
#define HARNFOLD_DATA_FOLDER_H

#include <windows.h>

#include "PathUnits.h"

// The variable that names the data folder, and where it is stored.
const WCHAR kDataFolderVariable[] = L"TIDEWELLDATA";
const WCHAR kUserEnvironmentKey[] = L"Environment";
const WCHAR kMachineEnvironmentKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The steps of finding the data folder that a diagnostic tool is told of.
enum DataFolderStep
{
    DataFolderFromUser,      // TIDEWELLDATA read from the user's environment key
    DataFolderFromMachine,   // ...from the machine's, the user's being absent
    DataFolderFromProcess,   // the template expanded against the process environment
    DataFolderTaken,         // the last reading is the data folder
    DataFolderUnfit,         // the last reading failed or is too long for the buffer
    DataFolderUnexpanded,    // the last reading still holds a '%'
    DataFolderNotQualified,  // the last reading is not a fully qualified path
    DataFolderShared         // "CBM Files" in the shared documents folder is used
};

// Install and Uninstall pass none. count is what the step's reading
// returned (0: absent); text is filled and terminated only when count lies
// between 1 and the space that the reading had. With createNothing the
// shared folders are asked for as Install asks, but where they would be
// created is only looked up.
struct DataFolderObserver
{
    void* context;
    void (*step)(void* context, DataFolderStep step, DWORD count, const WCHAR* text);
    bool createNothing;
};

// 0 with the data folder's path in `path`; E_FAIL when the shared documents
// folder can't be found; 0x8007006F when its path is too long for the name.
// A value that is too long, unterminated, not fully qualified or still holds
// a '%' is never used: the shared documents folder is used instead.
HRESULT ResolveDataFolder(WCHAR (&path)[kPathUnits], const DataFolderObserver* observer = NULL);

// Expands "%TIDEWELLDATA%" into `path`. Returns the count of the expansion,
// terminator included, or 0 when it failed. A count above the buffer's size
// means the expansion did not fit and `path` holds nothing usable.
DWORD ExpandDataFolderTemplate(WCHAR (&path)[kPathUnits],
                               const DataFolderObserver* observer = NULL);

// The same for any template: each "%name%" is read from the user's
// environment key, else the machine's; when a name is in neither, the whole
// template is expanded against the process environment instead. A '%'
// without a closing '%' and everything after it are plain text.
// Visible for tests, which reach the token rules only through other templates.
DWORD ExpandPathTemplate(const WCHAR* pathTemplate, WCHAR (&path)[kPathUnits],
                         const DataFolderObserver* observer = NULL);

// Reads a REG_SZ or REG_EXPAND_SZ value (the latter expanded against the
// process environment) into `destination`, which has room for `space` units.
// Returns the count with the terminator, 0 when the value is absent, of
// another type or shorter than one unit. A count above `space` means nothing
// was read. A count within `space` is always terminated at count - 1.
DWORD ReadEnvironmentValue(HKEY root, const WCHAR* subKey, const WCHAR* name, WCHAR* destination,
                           int space);

// "CBM Files" inside the shared documents folder, created when nothing of
// that name exists. Status as for ResolveDataFolder.
HRESULT LocateSharedDataFolder(WCHAR (&path)[kPathUnits],
                               const DataFolderObserver* observer = NULL);

// Non-zero with the path of the CSIDL folder in `path`, asking the shell and
// then shfolder.dll; 0 when neither gave one.
BOOL GetShellFolderPath(int csidl, WCHAR (&path)[kPathUnits]);

// Appends "CBM Files" (and a backslash unless the path ends in one). Returns
// 0 and leaves the buffer unchanged when the path is empty or has 250 units
// or more.
BOOL AppendDataFolderName(WCHAR (&path)[kPathUnits]);

#endif
