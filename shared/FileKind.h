// What a path names on disk, as every check of "a file, not a folder" asks it.
#ifndef SHARED_FILE_KIND_H
#define SHARED_FILE_KIND_H

#include <windows.h>

// True when something of this name exists and is not a folder.
inline bool IsExistingFile(const WCHAR* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

#endif
