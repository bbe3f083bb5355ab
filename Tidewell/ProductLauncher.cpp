#include "ProductLauncher.h"

#include "HostHandOver.h"
#include "OrvalisHost.h"
#include "ScopeGuards.h"
#include "StringBuffers.h"

namespace
{

const WCHAR kProduct[] = L"Tidewell";
const DWORD kRelativeUnits = sizeof(kHostRelativePath) / sizeof(WCHAR);  // terminator included

}  // namespace

HostPathStatus MakeHostPathW(HINSTANCE instance, WCHAR (&hostPath)[kPathUnits])
{
    DWORD n = GetModuleFileNameW(instance, hostPath, kPathUnits);
    if (n == 0)
        return HostPathUnreadable;
    return PlaceHostPathW(hostPath, n);
}

HostPathStatus PlaceHostPathW(WCHAR (&hostPath)[kPathUnits], DWORD n)
{
    // A full buffer means a cut path (unterminated on XP): its last backslash
    // may belong to another folder, so it is never used.
    if (n >= kPathUnits)
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
    if (slash + 1 + kRelativeUnits > kPathUnits)
        return HostPathTooLong;
    CopyMemory(hostPath + slash + 1, kHostRelativePath, sizeof(kHostRelativePath));
    return HostPathReady;
}

int RunTidewell(HINSTANCE instance)
{
    WideBuffer commandLine;
    CopyCommandLine(commandLine);

    WCHAR hostPath[kPathUnits];
    HostPathStatus status = MakeHostPathW(instance, hostPath);
    if (status == HostPathUnreadable)
        return 0;
    // A host that can't be found where it must be can't be opened either:
    // the user gets the same message, and no other path is tried.
    ModuleGuard host(status == HostPathReady ? LoadLibraryW(hostPath) : NULL);
    if (!host.valid())
    {
        ShowLauncherError(kHostNotOpened, kProduct);
        return kExitNoHost;
    }

    int result = 0;
    if (!CallHostW(host.get(), kProduct, commandLine.text, instance, hostPath, &result))
        result = kExitNoEntry;
    host.reset();  // unloaded before the command line it was handed is released
    return result;
}
