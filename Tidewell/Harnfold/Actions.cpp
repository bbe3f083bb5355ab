#include "Actions.h"

#include "DataFolder.h"
#include "FolderCustomisation.h"
#include "InstallRecord.h"

namespace
{

const UINT kActionSucceeded = 0;
const UINT kActionFailed = ERROR_INSTALL_FAILURE;  // 1603

}  // namespace

// Folder first, then the count: a failed customisation leaves the count alone.
extern "C" UINT WINAPI Install(MSIHANDLE)
{
    WCHAR folder[kPathUnits];
    if (FAILED(ResolveDataFolder(folder)))
        return kActionFailed;
    if (!CustomiseDataFolder(folder))
        return kActionFailed;
    DWORD count = 0;
    if (SUCCEEDED(ReadInstallCount(&count)))
        count += 1;  // wraps modulo 2^32
    else
        count = 1;
    return FAILED(WriteInstallCount(count)) ? kActionFailed : kActionSucceeded;
}

// The count first; only the last installation (or an unreadable count)
// removes the key and then the folder's customisation.
extern "C" UINT WINAPI Uninstall(MSIHANDLE)
{
    DWORD count = 0;
    if (SUCCEEDED(ReadInstallCount(&count)))
    {
        count -= 1;  // wraps modulo 2^32
        if (count != 0)
            return FAILED(WriteInstallCount(count)) ? kActionFailed : kActionSucceeded;
    }
    DeleteProductKey();
    WCHAR folder[kPathUnits];
    if (FAILED(ResolveDataFolder(folder)))
        return kActionFailed;
    if (!RemoveFolderCustomisation(folder))
        return kActionFailed;
    return kActionSucceeded;
}
