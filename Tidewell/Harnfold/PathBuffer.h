// Paths held in the library's fixed path buffers.
#ifndef HARNFOLD_PATH_BUFFER_H
#define HARNFOLD_PATH_BUFFER_H

#include <windows.h>

#include "PathUnits.h"

// Units before the terminator; kPathUnits when none lies within the buffer.
SIZE_T PathLength(const WCHAR (&path)[kPathUnits]);

// Appends `name` to the path, with a backslash between unless the path already
// ends in a backslash or a forward slash. A unit for that separator is always
// reserved, so the path is refused when length + 1 + the name's length reaches
// kPathUnits. An empty path is refused too: nothing is made relative to
// wherever the caller runs. A refused buffer is left unchanged.
bool AppendPathName(WCHAR (&path)[kPathUnits], const WCHAR* name);

#endif
