// Whether a path names the same place from every current folder and drive.
#ifndef SHARED_FULL_PATH_H
#define SHARED_FULL_PATH_H

#include <windows.h>

// True for "X:\..." (a drive letter, a colon and a backslash), a UNC path
// "\\server\share" with or without more after it, and "\\?\..." with
// something after the prefix. False for null, empty, "X:", "X:name", "\name",
// "name", and "\\" without both a server and a share: each of those is
// resolved against the current folder or drive.
inline bool IsFullyQualifiedPath(const WCHAR* path)
{
    if (path == NULL)
        return false;
    const WCHAR drive = path[0];
    if (((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')) && path[1] == L':' &&
        path[2] == L'\\')
        return true;
    if (path[0] != L'\\' || path[1] != L'\\')
        return false;
    if (path[2] == L'?' && path[3] == L'\\')
        return path[4] != 0;
    // A server name, a backslash, then a share name.
    const WCHAR* at = path + 2;
    if (*at == 0 || *at == L'\\')
        return false;
    while (*at != 0 && *at != L'\\')
        ++at;
    if (*at != L'\\')
        return false;
    ++at;
    return *at != 0 && *at != L'\\';
}

#endif
