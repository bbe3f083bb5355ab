#include "StringBuffers.h"

namespace
{

SIZE_T WideLength(const WCHAR* s)
{
    SIZE_T n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

void CopyBytes(void* to, const void* from, SIZE_T bytes)
{
    BYTE* d = static_cast<BYTE*>(to);
    const BYTE* s = static_cast<const BYTE*>(from);
    for (SIZE_T i = 0; i < bytes; ++i)
        d[i] = s[i];
}

// The growth step: a new block of exactly `bytes`, the old contents carried
// over. The old block is handed back rather than freed, so that a source that
// lies inside it stays readable until the caller has finished copying.
void* Grow(void* current, SIZE_T bytes, void** retired)
{
    void* block = GlobalAlloc(GMEM_FIXED, bytes);
    if (block == NULL)
        return NULL;
    if (current != NULL)
    {
        SIZE_T old = GlobalSize(current);
        CopyBytes(block, current, old < bytes ? old : bytes);
    }
    *retired = current;
    return block;
}

// True when p points into the block that starts at base.
bool Inside(const void* base, const void* p)
{
    if (base == NULL || p == NULL)
        return false;
    const BYTE* b = static_cast<const BYTE*>(base);
    const BYTE* q = static_cast<const BYTE*>(p);
    return q >= b && q < b + GlobalSize(const_cast<void*>(base));
}

const SIZE_T kMaxUnits = ((SIZE_T)-1) / sizeof(WCHAR);

}  // namespace

void WideBuffer::Release()
{
    if (text != NULL)
    {
        GlobalFree(text);
        text = NULL;
    }
}

WideBuffer& WideBuffer::Assign(const WCHAR* source)
{
    // A source inside our own block must outlive the copy, so the old block
    // goes only after the new one is filled; every other source frees first.
    WCHAR* keep = Inside(text, source) ? text : NULL;
    if (keep == NULL)
        Release();
    text = NULL;
    if (source != NULL)
    {
        SIZE_T units = WideLength(source) + 1;
        void* unused = NULL;
        void* block = units < kMaxUnits ? Grow(NULL, units * sizeof(WCHAR), &unused) : NULL;
        if (block != NULL)
        {
            CopyBytes(block, source, units * sizeof(WCHAR));
            text = static_cast<WCHAR*>(block);
        }
    }
    if (keep != NULL)
        GlobalFree(keep);
    return *this;
}

WideBuffer& WideBuffer::AssignFrom(WideBuffer& other)
{
    Release();
    return Assign(other.text);
}

bool WideBuffer::Append(const WCHAR* suffix)
{
    if (suffix == NULL)
        return true;
    SIZE_T length = text != NULL ? WideLength(text) : 0;
    SIZE_T added = WideLength(suffix);
    if (added >= kMaxUnits - length - 1)
        return false;
    void* retired = NULL;
    void* block = Grow(text, (length + added + 1) * sizeof(WCHAR), &retired);
    if (block == NULL)
        return false;
    CopyBytes(static_cast<WCHAR*>(block) + length, suffix, (added + 1) * sizeof(WCHAR));
    text = static_cast<WCHAR*>(block);
    if (retired != NULL)
        GlobalFree(retired);
    return true;
}

void NarrowBuffer::Release()
{
    if (text != NULL)
    {
        GlobalFree(text);
        text = NULL;
    }
}

NarrowBuffer& NarrowBuffer::AssignFromWide(const WCHAR* source)
{
    Release();
    if (source == NULL)
        return *this;
    int bytes = WideCharToMultiByte(codePage, 0, source, -1, NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return *this;
    void* unused = NULL;
    void* block = Grow(NULL, static_cast<SIZE_T>(bytes), &unused);
    if (block == NULL)
        return *this;
    text = static_cast<char*>(block);
    if (WideCharToMultiByte(codePage, 0, source, -1, text, bytes, NULL, NULL) == 0)
        Release();
    return *this;
}
