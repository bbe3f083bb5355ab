// Player installations for the tests: folders under a scratch folder, each
// with a registered file and (usually) a fixture host in Player\, registered
// as values of the real machine-wide players key, in enumeration order.
#ifndef TESTS_SUPPORT_INSTALLATIONS_H
#define TESTS_SUPPORT_INSTALLATIONS_H

#include <windows.h>

#include <string>

extern const WCHAR kPlayersKey[];

class Installations
{
public:
    Installations();   // empty scratch folder, the key removed
    ~Installations();  // removes both again

    // <scratch>\<folder>\app.exe registered, with the fixture host `variant`
    // as its Player\OrvalisHost.dll (none when variant is empty). Returns the
    // host library's path.
    std::wstring Add(const std::wstring& folder, const std::wstring& variant);
    // A value holding this text, terminated, as REG_SZ.
    void Register(const std::wstring& text);
    // A value of any type holding exactly these bytes; false unless stored so.
    bool RegisterRaw(DWORD type, const void* data, DWORD bytes);
    // Creates the key with no values.
    void CreateEmptyKey();

    const std::wstring& Scratch() const { return scratch_; }

private:
    std::wstring NextName();
    std::wstring scratch_;
    int values_;
};

#endif
