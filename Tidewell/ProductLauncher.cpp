#include "ProductLauncher.h"

#include "HostHandOver.h"
#include "OrvalisHost.h"
#include "StringBuffers.h"

namespace
{

const WCHAR kProduct[] = L"Tidewell";
const WCHAR kHostMissing[] = TIDEWELL_NOT_OPENED;
const WCHAR kRelativePath[] = ORVALIS_HOST_RELATIVE_PATH;
const DWORD kRelativeUnits = sizeof(kRelativePath) / sizeof(WCHAR);  // terminator included

}  // namespace

HostPathStatus MakeHostPathW(HINSTANCE instance, WCHAR (&hostPath)[TIDEWELL_HOST_PATH_UNITS])
{
    DWORD n = GetModuleFileNameW(instance, hostPath, TIDEWELL_HOST_PATH_UNITS);
    if (n == 0)
        return HostPathUnreadable;
    return PlaceHostPathW(hostPath, n);
}

HostPathStatus PlaceHostPathW(WCHAR (&hostPath)[TIDEWELL_HOST_PATH_UNITS], DWORD n)
{
    // A full buffer means a cut path (unterminated on XP): its last backslash
    // may belong to another folder, so it is never used.
    if (n >= TIDEWELL_HOST_PATH_UNITS)
        return HostPathTooLong;

    // The first unit is never examined, so a bare drive letter stays in front.
    DWORD slash = 0;
    for (DWORD i = n - 1; i > 0; --i)
    {
        if (hostPath[i] == L'\\')
        {
            slash = i;
            break;
        }
    }
    if (slash + 1 + kRelativeUnits > TIDEWELL_HOST_PATH_UNITS)
        return HostPathTooLong;
    CopyMemory(hostPath + slash + 1, kRelativePath, sizeof(kRelativePath));
    return HostPathReady;
}

int RunTidewell(HINSTANCE instance)
{
    WideBuffer commandLine;
    CopyCommandLine(commandLine);

    WCHAR hostPath[TIDEWELL_HOST_PATH_UNITS];
    HostPathStatus status = MakeHostPathW(instance, hostPath);
    if (status == HostPathUnreadable)
        return 0;
    // A host that can't be found where it must be can't be opened either:
    // the user gets the same message, and no other path is tried.
    HMODULE host = status == HostPathReady ? LoadLibraryW(hostPath) : NULL;
    if (host == NULL)
    {
        ShowLauncherError(kHostMissing, kProduct);
        return LAUNCHER_EXIT_NO_HOST;
    }

    int result = 0;
    if (!CallHostW(host, kProduct, commandLine.text, instance, hostPath, &result))
        result = LAUNCHER_EXIT_NO_ENTRY;
    FreeLibrary(host);
    return result;
}
