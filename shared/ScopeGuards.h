// Release on every way out of a scope: a registry key, a local-memory block,
// a loaded library. Each owns what it was given (null: nothing) and is never copied.
#ifndef SHARED_SCOPE_GUARDS_H
#define SHARED_SCOPE_GUARDS_H

#include <windows.h>

struct KeyGuard
{
    HKEY key;
    KeyGuard() : key(NULL) {}
    explicit KeyGuard(HKEY opened) : key(opened) {}
    ~KeyGuard()
    {
        if (key != NULL)
            RegCloseKey(key);
    }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
};

struct LocalGuard
{
    HLOCAL block;
    explicit LocalGuard(HLOCAL acquired) : block(acquired) {}
    ~LocalGuard()
    {
        if (block != NULL)
            LocalFree(block);
    }
    LocalGuard(const LocalGuard&) = delete;
    LocalGuard& operator=(const LocalGuard&) = delete;
};

struct ModuleGuard
{
    HMODULE module;
    explicit ModuleGuard(HMODULE loaded) : module(loaded) {}
    ~ModuleGuard()
    {
        if (module != NULL)
            FreeLibrary(module);
    }
    ModuleGuard(const ModuleGuard&) = delete;
    ModuleGuard& operator=(const ModuleGuard&) = delete;
};

#endif
