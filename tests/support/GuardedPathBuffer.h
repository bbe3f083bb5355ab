// A path buffer of kPathUnits units with a guard band behind it: a function
// that reads or writes past the buffer it was handed shows in the band.
#ifndef TESTS_GUARDED_PATH_BUFFER_H
#define TESTS_GUARDED_PATH_BUFFER_H

#include <windows.h>

#include <algorithm>
#include <string>

#include "PathUnits.h"

struct GuardedPathBuffer
{
    static const int kGuardUnits = 32;
    const WCHAR fill;
    WCHAR units[kPathUnits + kGuardUnits];

    // Buffer and band both hold `fill`, a unit the code under test would
    // react to when it strayed into the band.
    explicit GuardedPathBuffer(WCHAR fillUnit) : fill(fillUnit)
    {
        std::fill(units, units + kPathUnits + kGuardUnits, fill);
    }
    // The text at the start, terminated when it leaves room for that.
    void Place(const std::wstring& text)
    {
        std::copy(text.begin(), text.begin() + std::min<size_t>(text.size(), kPathUnits), units);
        if (text.size() < static_cast<size_t>(kPathUnits))
            units[text.size()] = 0;
    }
    // The buffer as the functions under test take it.
    WCHAR (&path())[kPathUnits] { return *reinterpret_cast<WCHAR(*)[kPathUnits]>(units); }
    bool GuardIntact() const
    {
        return std::all_of(units + kPathUnits, units + kPathUnits + kGuardUnits,
                           [this](WCHAR unit) { return unit == fill; });
    }
};

#endif
