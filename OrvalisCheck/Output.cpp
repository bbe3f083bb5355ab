#include "Output.h"

void Put(WideBuffer& line, const WCHAR* piece)
{
    line.Append(piece);
}

void Put(WideBuffer& line, std::initializer_list<const WCHAR*> pieces)
{
    for (const WCHAR* piece : pieces)
        line.Append(piece);
}

void PutPadded(WideBuffer& line, const WCHAR* piece, DWORD width)
{
    line.Append(piece);
    WCHAR spaces[33];
    for (DWORD used = TextUnits(piece); used < width;)
    {
        DWORD n = width - used < 32 ? width - used : 32;
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
    static const WCHAR* const names[] = {
        L"REG_NONE", L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD",
        L"REG_DWORD_BIG_ENDIAN", L"REG_LINK", L"REG_MULTI_SZ", L"REG_RESOURCE_LIST",
        L"REG_FULL_RESOURCE_DESCRIPTOR", L"REG_RESOURCE_REQUIREMENTS_LIST", L"REG_QWORD"};
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
