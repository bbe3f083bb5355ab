// The data folder's customisation: a system-folder mark and a hidden
// Desktop.ini that gives the folder a localized name, an info tip and an
// icon, all from this library's resources.
#ifndef HARNFOLD_FOLDER_CUSTOMISATION_H
#define HARNFOLD_FOLDER_CUSTOMISATION_H

#include <windows.h>

#include "PathUnits.h"
#include "StringBuffers.h"

enum DesktopIniForm
{
    DesktopIniIndirect,  // names this library's strings; the shell loads them (NT 5.1 and later)
    DesktopIniLiteral    // the strings themselves, as loaded when the file is written
};

// The file's name and the fixed text in front of each form's names.
const WCHAR kDesktopIni[] = L"Desktop.ini";
const WCHAR kDesktopIniStart[] = L"[.ShellClassInfo]\r\nIconFile=";
const WCHAR kDesktopIniIndirectNames[] = L"\r\nIconIndex=-10\r\nLocalizedResourceName=@";
const WCHAR kDesktopIniLiteralNames[] = L"\r\nIconIndex=-10\r\nLocalizedResourceName=";

// Capacities, terminator included, of the literal form's two strings.
const int kDisplayNameUnits = 80;
const int kInfoTipUnits = 200;

// Appends "Desktop.ini" (after a backslash unless the path ends in a
// separator) to a path buffer. False, buffer unchanged, for an empty path or
// one of 248 units or more: a separator's unit is always kept.
bool AppendDesktopIni(WCHAR (&path)[kPathUnits]);

bool IsWindowsXPOrLater();

// Builds the file's text into `text`; displayName and infoTip are used only
// by the literal form. False, `text` unset, when memory runs out.
bool ComposeDesktopIni(WideBuffer& text, DesktopIniForm form, const WCHAR* modulePath,
                       const WCHAR* displayName, const WCHAR* infoTip);

// Writes the first `bytes` bytes of the buffer's text into a new file (an
// existing one is replaced); on failure the file is deleted. 0 or a negative
// status.
HRESULT WriteBufferToFile(const WCHAR* path, const NarrowBuffer& buffer, DWORD bytes);

// Marks the folder as a system folder and writes its hidden Desktop.ini.
// True also when the marking is unavailable or refused (nothing written);
// false when the file's path doesn't fit, its text can't be made or it
// can't be written, and for a path that is not fully qualified or names a
// file (then nothing is touched).
bool CustomiseDataFolder(const WCHAR* folder);

// Deletes the folder's Desktop.ini, clears the folder's attributes and
// removes it when empty. False, nothing touched, only when the Desktop.ini
// path doesn't fit or the path is not fully qualified; a file of the
// folder's name is left as it is.
bool RemoveFolderCustomisation(const WCHAR* folder);

#endif
