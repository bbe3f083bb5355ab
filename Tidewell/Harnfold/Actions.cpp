// The two custom actions that Windows Installer calls.
#include <windows.h>
#include <msi.h>

#include "DataFolder.h"
#include "FolderCustomisation.h"
#include "InstallRecord.h"

#define ACTION_SUCCEEDED 0u
#define ACTION_FAILED 1603u  // ERROR_INSTALL_FAILURE

// Folder first, then the count: a failed customisation leaves the count alone.
extern "C" UINT WINAPI Install(MSIHANDLE)
{
    WCHAR folder[MAX_PATH];
    if (ResolveDataFolder(folder) < 0)
        return ACTION_FAILED;
    if (!CustomiseDataFolder(folder))
        return ACTION_FAILED;
    DWORD count = 0;
    if (ReadInstallCount(&count) >= 0)
        count += 1;  // wraps modulo 2^32
    else
        count = 1;
    return WriteInstallCount(count) < 0 ? ACTION_FAILED : ACTION_SUCCEEDED;
}

// The count first; only the last installation (or an unreadable count)
// removes the key and then the folder's customisation.
extern "C" UINT WINAPI Uninstall(MSIHANDLE)
{
    DWORD count = 0;
    if (ReadInstallCount(&count) >= 0)
    {
        count -= 1;  // wraps modulo 2^32
        if (count != 0)
            return WriteInstallCount(count) < 0 ? ACTION_FAILED : ACTION_SUCCEEDED;
    }
    DeleteProductKey();
    WCHAR folder[MAX_PATH];
    if (ResolveDataFolder(folder) < 0)
        return ACTION_FAILED;
    if (!RemoveFolderCustomisation(folder))
        return ACTION_FAILED;
    return ACTION_SUCCEEDED;
}
