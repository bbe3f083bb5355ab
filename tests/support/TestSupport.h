// Helpers shared by the test programs: where things are, scratch folders,
// fixture records, child processes and message boxes.
#ifndef TESTS_SUPPORT_H
#define TESTS_SUPPORT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Folder of the running test program (the build's bin folder), no trailing backslash.
std::wstring BinDir();
// bin\fixtures\<variant>\OrvalisHost.dll
std::wstring FixtureHost(const std::wstring& variant);
// Build-time folders as Windows paths (Wine maps / to Z:).
std::wstring SourceDir();
std::wstring DistDir();     // this build's deliverables (x64)
std::wstring ReleaseDir();  // the i686 deliverables
std::wstring ToWindowsPath(const std::string& unixPath);
// A shell folder (CSIDL_...) as SHGetFolderPathW gives it; empty when it has none.
std::wstring ShellFolder(int csidl);

// A fresh empty folder under the temp folder; removed by RemoveTree.
std::wstring MakeScratchDir(const std::wstring& name);
void RemoveTree(const std::wstring& path);
bool CopyInto(const std::wstring& from, const std::wstring& to);  // creates parent folders
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string* bytes);
bool FileExists(const std::wstring& path);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// The fixture host's record: key -> value (UTF-8); empty when there is none.
std::map<std::string, std::string> ReadRecord(const std::wstring& path);

// Checks the fixed part of a recorded hand-over: the launcher's own instance, 10, 0 and 0.
void ExpectStandardArguments(const std::map<std::string, std::string>& record);
// The x87 control word the host found on entry, in a launcher's process: the
// 0x027F (53-bit precision, every exception masked) that Windows gives a new
// process, whatever the C runtime's start-up would have set.
void ExpectWindowsControlWord(const std::map<std::string, std::string>& record);
// Checks a recorded call of OrvalisHostW: product ("<null>" for none), command
// line and host path, and the fixed arguments.
void ExpectWideCall(const std::map<std::string, std::string>& record, const std::string& product,
                    const std::wstring& commandLine, const std::wstring& hostPath);

// How a test starts a child process: extra environment variables
// ("NAME=value") for it alone, its working folder (empty: this one's), how
// long to wait for its end (0: not at all, for Unix programs, whose handles
// Wine gives no way to wait on), and its standard output and error, each an
// inheritable handle (a file, a console screen buffer) or NULL for its own.
struct ChildOptions
{
    std::vector<std::wstring> environment;
    std::wstring directory;
    DWORD timeoutMs = 30000;
    HANDLE output = NULL;
    HANDLE errors = NULL;
};
// Runs the child and returns its full 32-bit exit code; 0xDEADBEEF when it
// could not start or did not end within the timeout (it is then ended); 0
// once started when it is not waited for.
DWORD RunChild(const std::wstring& exe, const std::wstring& commandLine,
               const ChildOptions& options = ChildOptions());
// The same, with its standard output and error caught in files and read back.
struct ChildRun
{
    DWORD exitCode;
    std::string output, errors;
};
ChildRun RunChildCapturing(const std::wstring& exe, const std::wstring& commandLine,
                           ChildOptions options = ChildOptions());
// Wine's msiexec with ARGUMENTS and /qn: its exit code, or 0xDEADBEEF when two
// runs in a row did not end within the timeout.
DWORD RunMsiexec(const std::wstring& arguments, DWORD timeoutMs);
// RunChild with the environment, the timeout and the folder as arguments.
DWORD RunProgram(const std::wstring& exe, const std::wstring& commandLine,
                 const std::vector<std::wstring>& environment = std::vector<std::wstring>(),
                 DWORD timeoutMs = 30000, const std::wstring& directory = L"");

struct MessageBoxSeen
{
    std::wstring caption;
    std::wstring text;
    bool hasIcon;       // a Static child with SS_ICON
    bool hasErrorIcon;  // ...showing the system's error icon
    int buttons;        // number of Button children
    std::wstring buttonText;
};

// Starts a program, waits for a message box of its process with this caption,
// reads it, dismisses it with OK and returns the exit code. `seen` is filled
// when a box appeared; found tells whether one did (false: the program ended
// or the wait timed out without one).
DWORD RunAndReadMessageBox(
    const std::wstring& exe, const std::wstring& commandLine, const std::wstring& caption,
    MessageBoxSeen* seen, bool* found,
    const std::vector<std::wstring>& environment = std::vector<std::wstring>(),
    DWORD timeoutMs = 30000);

// Checks a launcher's error message as read off the screen: caption, text,
// the system error icon and a single OK button.
void ExpectErrorBox(const MessageBoxSeen& seen, const std::wstring& caption,
                    const std::wstring& text);

// Registry helpers for tests (real registry of the test prefix).
bool SetStringValue(HKEY root, const std::wstring& key, const std::wstring& name,
                    const std::wstring& value, DWORD type = REG_SZ);
bool SetRawValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                 const void* data, DWORD bytes);
void DeleteTree(HKEY root, const std::wstring& key);
bool RegistryKeyExists(HKEY root, const std::wstring& key);
// A registry link at HKEY_LOCAL_MACHINE\<key> to HKEY_LOCAL_MACHINE\<target>
// (REG_OPTION_CREATE_LINK with its SymbolicLinkValue); false unless made.
bool CreateMachineLink(const std::wstring& key, const std::wstring& target);
// Deletes the link itself, never its target; true when it is gone.
bool DeleteMachineLink(const std::wstring& key);

// Sets environment variables of this process ("NAME=value"), which its
// children inherit, and puts the old values back (or removes the variables
// that were not set) when it goes out of scope.
class ScopedEnvironment
{
public:
    explicit ScopedEnvironment(const std::vector<std::wstring>& assignments);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    struct Saved
    {
        std::wstring name, value;
        bool existed;
    };
    std::vector<Saved> saved_;
};

// The installation count, HKLM\Software\Quillon\Harnfold's Count value.
// As a REG_DWORD (another type fails the calling test), or -1 when the key or
// the value is missing or longer than 4 bytes.
long long StoredCount();
// Its type and up to 4 bytes of data; true only when it is there and exactly
// 4 bytes long.
bool StoredCount(DWORD* type, DWORD* value);

#endif
