// OrvalisOpen: starts the newest registered player with this command line.
#include <windows.h>

#include "PlayerLauncher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunPlayerLauncher(instance);
}
