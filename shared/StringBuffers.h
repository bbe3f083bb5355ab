// Owned strings, each in one fixed global-memory block with no spare capacity.
#ifndef SHARED_STRING_BUFFERS_H
#define SHARED_STRING_BUFFERS_H

#include <windows.h>

// UTF-16 text in one GMEM_FIXED block, or unset (text null). Never copied;
// the block is released by Release() or when the holder goes out of scope.
struct WideBuffer
{
    WCHAR* text;

    WideBuffer() : text(NULL) {}
    ~WideBuffer() { Release(); }
    WideBuffer(const WideBuffer&) = delete;
    WideBuffer& operator=(const WideBuffer&) = delete;

    // Copies source (null leaves the buffer unset). Unset afterwards on failure.
    WideBuffer& Assign(const WCHAR* source);
    // Copies other's text; assigning a buffer from itself leaves it unset.
    WideBuffer& AssignFrom(WideBuffer& other);
    // Adds suffix; false when no memory was available, the old text kept intact.
    bool Append(const WCHAR* suffix);
    void Release();
};

// 8-bit text in the code page given at declaration, in one GMEM_FIXED block.
struct NarrowBuffer
{
    char* text;
    UINT codePage;

    explicit NarrowBuffer(UINT page) : text(NULL), codePage(page) {}
    ~NarrowBuffer() { Release(); }
    NarrowBuffer(const NarrowBuffer&) = delete;
    NarrowBuffer& operator=(const NarrowBuffer&) = delete;

    // Converts source to codePage; unset afterwards on any failure.
    NarrowBuffer& AssignFromWide(const WCHAR* source);
    void Release();
};

#endif
