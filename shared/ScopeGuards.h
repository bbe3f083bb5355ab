// Release on every way out of a scope: a registry key, a local-memory block,
// a loaded library, a file, a shell item list. One move-only guard owns one
// handle (its "none" value: nothing) and is never copied. A release never
// changes the thread's last error, so a caller may set it and then leave.
#ifndef SHARED_SCOPE_GUARDS_H
#define SHARED_SCOPE_GUARDS_H

#include <windows.h>

// Handle, the function that releases it, and the value that means "none",
// given as an integer so that INVALID_HANDLE_VALUE (-1) can be one.
template <typename Handle, void (*Free)(Handle), LONG_PTR NoneValue = 0>
class ScopedHandle
{
public:
    static Handle None() { return reinterpret_cast<Handle>(NoneValue); }

    ScopedHandle() : handle_(None()) {}
    explicit ScopedHandle(Handle acquired) : handle_(acquired) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& other) : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other)
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != None(); }
    // For the acquiring call's out-parameter: releases what is held first, so
    // a failed call that leaves the slot alone (or writes null) holds nothing.
    Handle* put()
    {
        reset();
        return &handle_;
    }
    // Releases what is held, keeping the last error, and takes `acquired` instead.
    void reset(Handle acquired = None())
    {
        Handle old = handle_;
        handle_ = acquired;
        if (old != None())
        {
            DWORD error = GetLastError();
            Free(old);
            SetLastError(error);
        }
    }
    // Gives the handle up without releasing it.
    Handle release()
    {
        Handle held = handle_;
        handle_ = None();
        return held;
    }

private:
    Handle handle_;
};

// The release functions; each result is ignored, as nothing can be done
// about a failed release.
inline void ReleaseKey(HKEY key) { RegCloseKey(key); }
inline void ReleaseLocal(HLOCAL block) { LocalFree(block); }
inline void ReleaseLibrary(HMODULE module) { FreeLibrary(module); }
inline void ReleaseFile(HANDLE file) { CloseHandle(file); }

typedef ScopedHandle<HKEY, ReleaseKey> KeyGuard;
typedef ScopedHandle<HLOCAL, ReleaseLocal> LocalGuard;
typedef ScopedHandle<HMODULE, ReleaseLibrary> ModuleGuard;
typedef ScopedHandle<HANDLE, ReleaseFile, -1> FileGuard;  // INVALID_HANDLE_VALUE: none

// A function of a library bound at run time, typed by its own declaration:
// the name and the type both come from `function`, so neither can drift.
template <typename Function>
Function* BoundProc(HMODULE module, const char* name)
{
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
#define BIND_PROC(module, function) BoundProc<decltype(function)>((module), #function)

#endif
