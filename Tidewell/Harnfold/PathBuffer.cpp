#include "PathBuffer.h"

SIZE_T PathLength(const WCHAR (&path)[kPathUnits])
{
    SIZE_T n = 0;
    while (n < kPathUnits && path[n] != 0)
        ++n;
    return n;
}

bool AppendPathName(WCHAR (&path)[kPathUnits], const WCHAR* name)
{
    SIZE_T n = PathLength(path);
    SIZE_T added = 0;
    while (name[added] != 0)
        ++added;
    if (n == 0 || n + 1 + added >= kPathUnits)
        return false;
    if (path[n - 1] != L'\\' && path[n - 1] != L'/')
        path[n++] = L'\\';
    for (SIZE_T i = 0; i <= added; ++i)
        path[n + i] = name[i];
    return true;
}
