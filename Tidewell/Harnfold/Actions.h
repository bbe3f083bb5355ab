// The two custom actions that Windows Installer calls, exported by ordinal
// 1 and 2 under these undecorated names.
#ifndef HARNFOLD_ACTIONS_H
#define HARNFOLD_ACTIONS_H

#include <windows.h>
#include <msi.h>

// Customises the data folder, then counts one more installation.
// 0, or 1603 (ERROR_INSTALL_FAILURE) on any failure.
extern "C" UINT WINAPI Install(MSIHANDLE);

// Counts one installation less; the last one removes the product key and
// the folder's customisation. 0, or 1603 on any failure.
extern "C" UINT WINAPI Uninstall(MSIHANDLE);

#endif
