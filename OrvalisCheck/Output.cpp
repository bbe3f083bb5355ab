#include "Output.h"

namespace
{

// Units gathered before they are appended in one piece.
const int kRunUnits = 64;
const UINT32 kFirstAstral = 0x10000;

bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The character at `at` and how many units it takes; an unpaired surrogate
// is a character of its own, told as hidden below.
UINT32 CharacterAt(const WCHAR* at, int* units)
{
    *units = 1;
    if (IsHighSurrogate(at[0]) && IsLowSurrogate(at[1]))
    {
        *units = 2;
        return kFirstAstral + ((static_cast<UINT32>(at[0]) - 0xD800) << 10) + (at[1] - 0xDC00);
    }
    return at[0];
}

// Characters that end, move, reorder or hide text instead of showing.
bool IsHidden(UINT32 c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || c == 0x34F || c == 0x61C ||
           c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || c == 0xFFFE || c == 0xFFFF ||
           (c >= 0xE0000 && c <= 0xE0FFF) || c == L'<';
}

bool IsCombining(UINT32 c)
{
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x483 && c <= 0x489) || (c >= 0x591 && c <= 0x5BD) ||
           (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

// East Asian wide and full-width characters, and the pictographs drawn as wide.
bool IsWide(UINT32 c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
           (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x1F900 && c <= 0x1F9FF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

void PutEscape(WideBuffer& line, UINT32 c)
{
    WCHAR escape[] = L"<U+000000>";
    int digits = c >= kFirstAstral ? 6 : 4;
    for (int i = 0; i < digits; ++i)
        escape[3 + i] = L"0123456789ABCDEF"[(c >> (4 * (digits - 1 - i))) & 0xF];
    escape[3 + digits] = L'>';
    escape[4 + digits] = 0;
    line.Append(escape);
}

}  // namespace

void Put(WideBuffer& line, const WCHAR* piece) { line.Append(piece); }

void Put(WideBuffer& line, std::initializer_list<const WCHAR*> pieces)
{
    for (const WCHAR* piece : pieces)
        line.Append(piece);
}

void PutShown(WideBuffer& line, const WCHAR* text)
{
    WCHAR run[kRunUnits + 1];
    int used = 0;
    for (const WCHAR* at = text; at != NULL && *at != 0;)
    {
        int units = 0;
        UINT32 c = CharacterAt(at, &units);
        bool hidden = IsHidden(c);
        if (hidden || used + units > kRunUnits)
        {
            run[used] = 0;
            line.Append(run);
            used = 0;
        }
        if (hidden)
            PutEscape(line, c);
        else
            for (int i = 0; i < units; ++i)
                run[used++] = at[i];
        at += units;
    }
    run[used] = 0;
    line.Append(run);
}

DWORD DisplayWidth(const WCHAR* shown)
{
    DWORD width = 0;
    for (const WCHAR* at = shown; at != NULL && *at != 0;)
    {
        int units = 0;
        UINT32 c = CharacterAt(at, &units);
        width += IsCombining(c) ? 0 : (IsWide(c) ? 2 : 1);
        at += units;
    }
    return width;
}

void PutPadded(WideBuffer& line, const WCHAR* piece, DWORD width)
{
    line.Append(piece);
    const DWORD kSpaceRun = 32;
    WCHAR spaces[kSpaceRun + 1];
    for (DWORD used = DisplayWidth(piece); used < width;)
    {
        DWORD n = width - used < kSpaceRun ? width - used : kSpaceRun;
        for (DWORD i = 0; i < n; ++i)
            spaces[i] = L' ';
        spaces[n] = 0;
        if (!line.Append(spaces))
            return;
        used += n;
    }
}

void PutNumber(WideBuffer& line, LONGLONG number)
{
    WCHAR digits[24];
    int at = 23;
    digits[at] = 0;
    ULONGLONG magnitude = number < 0 ? 0 - static_cast<ULONGLONG>(number) : number;
    do
    {
        digits[--at] = static_cast<WCHAR>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0)
        digits[--at] = L'-';
    line.Append(digits + at);
}

void PutHex(WideBuffer& line, DWORD number)
{
    WCHAR digits[11] = L"0x";
    for (int i = 0; i < 8; ++i)
        digits[2 + i] = L"0123456789ABCDEF"[(number >> (28 - 4 * i)) & 0xF];
    digits[10] = 0;
    line.Append(digits);
}

void PutVersion(WideBuffer& line, WORD major, WORD minor, WORD build, WORD revision)
{
    PutNumber(line, major);
    Put(line, L".");
    PutNumber(line, minor);
    Put(line, L".");
    PutNumber(line, build);
    Put(line, L".");
    PutNumber(line, revision);
}

void PutRegistryType(WideBuffer& line, DWORD type)
{
    static const WCHAR* const names[] = {L"REG_NONE",
                                         L"REG_SZ",
                                         L"REG_EXPAND_SZ",
                                         L"REG_BINARY",
                                         L"REG_DWORD",
                                         L"REG_DWORD_BIG_ENDIAN",
                                         L"REG_LINK",
                                         L"REG_MULTI_SZ",
                                         L"REG_RESOURCE_LIST",
                                         L"REG_FULL_RESOURCE_DESCRIPTOR",
                                         L"REG_RESOURCE_REQUIREMENTS_LIST",
                                         L"REG_QWORD"};
    if (type < sizeof names / sizeof names[0])
    {
        Put(line, names[type]);
        return;
    }
    Put(line, L"type ");
    PutNumber(line, type);
}

DWORD TextUnits(const WCHAR* text)
{
    DWORD n = 0;
    if (text != NULL)
        while (text[n] != 0)
            ++n;
    return n;
}

void Emit(WideBuffer& line, DWORD stdHandle)
{
    line.Append(L"\r\n");
    HANDLE out = GetStdHandle(stdHandle);
    DWORD units = TextUnits(line.text);
    DWORD mode = 0;
    DWORD written = 0;
    if (units == 0 || out == NULL || out == INVALID_HANDLE_VALUE)
    {
        line.Release();
        return;
    }
    if (GetConsoleMode(out, &mode))
    {
        WriteConsoleW(out, line.text, units, &written, NULL);
    }
    else
    {
        NarrowBuffer utf8(CP_UTF8);
        utf8.AssignFromWide(line.text);
        if (utf8.text != NULL)
            WriteFile(out, utf8.text, lstrlenA(utf8.text), &written, NULL);
    }
    line.Release();
}

void EmitText(const WCHAR* text, DWORD stdHandle)
{
    WideBuffer line;
    Put(line, text);
    Emit(line, stdHandle);
}
