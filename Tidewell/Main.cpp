// Tidewell: hands this command line to the player host beside the program.
#include <windows.h>

#include "ProductLauncher.h"

// The command line handed on comes from GetCommandLineW; the narrow tail and
// the show command are not used.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunTidewell(instance); }
