// The host path that a Tidewell.exe would load, from Tidewell's own code.
#include "Checks.h"

#include "FileKind.h"
#include "OrvalisHost.h"
#include "Output.h"
#include "ProductLauncher.h"

void CheckTidewell(const WCHAR* program)
{
    WCHAR hostPath[kPathUnits];
    DWORD n = GetFullPathNameW(program, kPathUnits, hostPath, NULL);
    WideBuffer line;
    Put(line, L"Tidewell: ");
    PutShown(line, program);
    if (n == 0)
    {
        Put(line, L": not a usable path");
        Emit(line);
        return;
    }
    // A path too long for the buffer is what a cut module path would be.
    bool fits = n < static_cast<DWORD>(kPathUnits);
    if (!fits || !IsExistingFile(hostPath))
        Put(line, L" (no such program file)");
    WCHAR folder[kPathUnits];
    lstrcpynW(folder, hostPath, kPathUnits);
    if (PlaceHostPathW(hostPath, fits ? n : kPathUnits) != HostPathReady)
    {
        Put(line, L": its path leaves no room for the host path");
    }
    else
    {
        Put(line, L" loads ");
        PutShown(line, hostPath);
        if (IsExistingFile(hostPath))
        {
            Put(line, L", which exists");
            Emit(line);
            // The program's folder is the host path's, before Player\.
            DWORD cut = TextUnits(hostPath) - TextUnits(kHostRelativePath);
            folder[cut] = 0;
            CheckHostImports(L"Tidewell", folder, hostPath);
            return;
        }
        Put(line, L", which does not exist");
    }
    Put(line, {L": Tidewell shows \"", kHostNotOpened, L"\" and exits with -1"});
    Emit(line);
}
