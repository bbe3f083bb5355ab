// The one size of a path kept in a fixed buffer.
#ifndef SHARED_PATH_UNITS_H
#define SHARED_PATH_UNITS_H

#include <windows.h>

// UTF-16 units of every fixed path buffer, terminator included. Functions
// that fill or extend such a buffer take it as WCHAR (&)[kPathUnits].
const int kPathUnits = MAX_PATH;

#endif
