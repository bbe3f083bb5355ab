// OrvalisCheck: says what OrvalisOpen, Tidewell and harnfold.dll would do
// on this machine, and why. It changes nothing, except that --load runs the
// chosen host's start-up code, in a process of its own.
#include <windows.h>

#include "Checks.h"
#include "Output.h"

namespace
{

const int kExitFound = 0;
const int kExitNotFound = 1;
const int kExitUsage = 2;

const WCHAR* const kUsage[] = {
    L"Usage: OrvalisCheck [--load] [PATH\\Tidewell.exe]",
    L"Says what OrvalisOpen, Tidewell and harnfold.dll would do on this machine, and why.",
    L"  --load   also load the host that OrvalisOpen chooses, to find its entry point;",
    L"           this runs the host's start-up code, in a process of its own",
    L"  PATH     a Tidewell.exe whose Player\\OrvalisHost.dll is looked for",
    L"  --help   this text",
    L"Exit code: 0 when OrvalisOpen would find a host, 1 when it would not, 2 on bad usage."};

void PrintUsage(DWORD stdHandle)
{
    for (size_t i = 0; i < sizeof kUsage / sizeof kUsage[0]; ++i)
        EmitText(kUsage[i], stdHandle);
}

bool Is(const WCHAR* argument, const WCHAR* option) { return lstrcmpW(argument, option) == 0; }

}  // namespace

int wmain(int argc, WCHAR** argv)
{
    // The second process of --load: it reports only to its parent.
    if (argc == 3 && Is(argv[1], L"--load-child"))
        return RunLoadChild(argv[2]);

    bool load = false;
    const WCHAR* tidewell = NULL;
    for (int i = 1; i < argc; ++i)
    {
        if (Is(argv[i], L"--help") || Is(argv[i], L"-h") || Is(argv[i], L"/?"))
        {
            PrintUsage(STD_OUTPUT_HANDLE);
            return kExitFound;
        }
        if (Is(argv[i], L"--load"))
        {
            load = true;
            continue;
        }
        if (argv[i][0] == L'-' || argv[i][0] == 0 || tidewell != NULL)
        {
            WideBuffer line;
            Put(line, L"OrvalisCheck: unexpected argument \"");
            Put(line, argv[i]);
            Put(line, L"\"");
            Emit(line, STD_ERROR_HANDLE);
            PrintUsage(STD_ERROR_HANDLE);
            return kExitUsage;
        }
        tidewell = argv[i];
    }

#ifdef _WIN64
    EmitText(L"OrvalisCheck 3.2.0.0, 64-bit: what the 64-bit OrvalisOpen, Tidewell and "
             L"harnfold.dll would do here");
#else
    EmitText(L"OrvalisCheck 3.2.0.0, 32-bit: what OrvalisOpen, Tidewell and harnfold.dll "
             L"would do here");
#endif
    EmitText(L"");
    bool found = CheckPlayers(load);
    if (tidewell != NULL)
    {
        EmitText(L"");
        CheckTidewell(tidewell);
    }
    EmitText(L"");
    CheckSetup();
    return found ? kExitFound : kExitNotFound;
}
