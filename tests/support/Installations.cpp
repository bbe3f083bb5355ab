#include "Installations.h"

#include <stdio.h>

#include <string>

#include "TestSupport.h"

const WCHAR kPlayersKey[] = L"SOFTWARE\\Quillon\\Orvalis\\Players";

Installations::Installations() : scratch_(MakeScratchDir(L"players")), values_(0)
{
    DeleteTree(HKEY_LOCAL_MACHINE, kPlayersKey);
}

Installations::~Installations()
{
    DeleteTree(HKEY_LOCAL_MACHINE, kPlayersKey);
    RemoveTree(scratch_);
}

// Names sort in the order of registration, so the enumeration order is the
// same whether the registry keeps values in creation or in name order.
std::wstring Installations::NextName()
{
    WCHAR name[16];
    swprintf(name, 16, L"v%03d", values_++);
    return name;
}

std::wstring Installations::Add(const std::wstring& folder, const std::wstring& variant)
{
    std::wstring dir = scratch_ + L"\\" + folder;
    WriteBytes(dir + L"\\app.exe", "registered file");
    std::wstring host = dir + L"\\Player\\OrvalisHost.dll";
    if (!variant.empty())
        CopyInto(FixtureHost(variant), host);
    Register(dir + L"\\app.exe");
    return host;
}

void Installations::Register(const std::wstring& text)
{
    SetStringValue(HKEY_LOCAL_MACHINE, kPlayersKey, NextName(), text);
}

// The registry adds a string's terminator to the count when the caller left
// it out but it follows the data in memory; a non-zero unit after the data
// keeps exactly the bytes given.
bool Installations::RegisterRaw(DWORD type, const void* data, DWORD bytes)
{
    std::string copy(static_cast<const char*>(data), bytes);
    copy += "\xff\xff\xff\xff";
    std::wstring name = NextName();
    if (!SetRawValue(HKEY_LOCAL_MACHINE, kPlayersKey, name, type, copy.data(), bytes))
        return false;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD stored = 0;
    LONG code = RegQueryValueExW(key, name.c_str(), NULL, NULL, NULL, &stored);
    RegCloseKey(key);
    return code == ERROR_SUCCESS && stored == bytes;
}

void Installations::CreateEmptyKey()
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlayersKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}
