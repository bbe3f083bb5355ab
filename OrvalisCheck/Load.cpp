// --load: the host is loaded in a second process of this program, so that
// whatever its start-up code does (end the process, crash, wait forever) the
// report goes on. That process activates OrvalisOpen's own manifest before
// loading, so the host's imports bind to the assemblies OrvalisOpen's do, and
// it runs from OrvalisOpen's folder, which the loader searches first.
#include "Checks.h"

#include "FileKind.h"
#include "Output.h"
#include "OrvalisHost.h"
#include "PathBuffer.h"
#include "ScopeGuards.h"

namespace
{

const WCHAR kLauncherFile[] = L"OrvalisOpen.exe";
const WCHAR kChildOption[] = L" --load-child ";
// The program manifest's resource identifier.
const WORD kManifestResource = 1;
const DWORD kMillisecondsPerSecond = 1000;
// NTSTATUS codes of severity "error" are exceptions, not exit codes.
const DWORD kExceptionSeverity = 0xC0000000;
// The child's answer: one letter, then a number for LoadFailed.
const char kAnswerWide = 'W';
const char kAnswerNarrow = 'A';
const char kAnswerNeither = 'N';
const char kAnswerFailed = 'E';
const DWORD kAnswerBytes = 16;

typedef ScopedHandle<HANDLE, ReleaseFile> ProcessGuard;

// OrvalisOpen.exe in this program's folder.
bool GetLauncherPath(WCHAR (&path)[kPathUnits])
{
    return GetProgramFolder(path) && AppendPathName(path, kLauncherFile);
}

void Answer(char kind, DWORD number)
{
    char text[kAnswerBytes];
    int n = 0;
    text[n++] = kind;
    char digits[12];
    int d = 0;
    do
    {
        digits[d++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (d > 0)
        text[n++] = digits[--d];
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, n, &written, NULL);
}

// An exception nothing handled ends the process with its code, instead of
// a debugger or an error box waiting for someone.
LONG WINAPI EndOnException(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

LoadOutcome ReadAnswer(const char* text, DWORD bytes, DWORD* detail)
{
    *detail = 0;
    for (DWORD i = 1; i < bytes && text[i] >= '0' && text[i] <= '9'; ++i)
        *detail = *detail * 10 + static_cast<DWORD>(text[i] - '0');
    switch (text[0])
    {
    case kAnswerWide: return LoadFoundWide;
    case kAnswerNarrow: return LoadFoundNarrow;
    case kAnswerNeither: return LoadFoundNeither;
    case kAnswerFailed: return LoadFailed;
    default: return LoadEndedProcess;
    }
}

}  // namespace

bool GetProgramFolder(WCHAR (&folder)[kPathUnits])
{
    DWORD n = GetModuleFileNameW(NULL, folder, kPathUnits);
    if (n == 0 || n >= static_cast<DWORD>(kPathUnits))
        return false;
    while (n > 0 && folder[n - 1] != L'\\')
        --n;
    folder[n] = 0;
    return n != 0;
}

DWORD ActivateLauncherManifest(ContextGuard& context, ULONG_PTR* cookie)
{
    WCHAR launcher[kPathUnits];
    if (!GetLauncherPath(launcher))
        return ERROR_FILE_NOT_FOUND;
    ACTCTXW manifest;
    ZeroMemory(&manifest, sizeof manifest);
    manifest.cbSize = sizeof manifest;
    manifest.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    manifest.lpSource = launcher;
    manifest.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    context.reset(CreateActCtxW(&manifest));
    if (context.get() == INVALID_HANDLE_VALUE)
        return GetLastError();
    if (cookie != NULL && !ActivateActCtx(context.get(), cookie))
        return GetLastError();
    return ERROR_SUCCESS;
}

int RunLoadChild(const WCHAR* hostPath)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnException);
    // A manifest that can't be activated is loaded without, as the loader
    // starts OrvalisOpen without it; the parent reports that itself.
    ContextGuard context;
    ULONG_PTR cookie = 0;
    bool active = ActivateLauncherManifest(context, &cookie) == ERROR_SUCCESS;
    {
        ModuleGuard host(LoadLibraryW(hostPath));
        DWORD error = GetLastError();
        if (host.get() == NULL)
            Answer(kAnswerFailed, error);
        else if (BIND_PROC(host.get(), OrvalisHostW) != NULL)
            Answer(kAnswerWide, 0);
        else if (BIND_PROC(host.get(), OrvalisHost) != NULL)
            Answer(kAnswerNarrow, 0);
        else
            Answer(kAnswerNeither, 0);
    }
    if (active)
        DeactivateActCtx(0, cookie);
    return 0;
}

LoadOutcome LoadHostInChild(const WCHAR* hostPath, DWORD* detail)
{
    *detail = 0;
    WCHAR self[kPathUnits];
    WCHAR launcher[kPathUnits];
    DWORD n = GetModuleFileNameW(NULL, self, kPathUnits);
    if (n == 0 || n >= static_cast<DWORD>(kPathUnits) || !GetLauncherPath(launcher) ||
        !IsExistingFile(launcher))
        return LoadNoLauncher;

    WideBuffer commandLine;
    Put(commandLine, {L"\"", self, L"\"", kChildOption, L"\"", hostPath, L"\""});
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    FileGuard answers;
    FileGuard childEnd;
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (commandLine.text == NULL || !CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    {
        *detail = GetLastError();
        return LoadNotStarted;
    }
    answers.reset(readEnd);
    childEnd.reset(writeEnd);
    SetHandleInformation(answers.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = childEnd.get();
    PROCESS_INFORMATION child;
    if (!CreateProcessW(self, commandLine.text, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
    {
        *detail = GetLastError();
        return LoadNotStarted;
    }
    ProcessGuard process(child.hProcess);
    CloseHandle(child.hThread);
    childEnd.reset();

    bool ended =
        WaitForSingleObject(process.get(), kLoadSeconds * kMillisecondsPerSecond) == WAIT_OBJECT_0;
    char text[kAnswerBytes];
    DWORD bytes = 0;
    if (!PeekNamedPipe(answers.get(), text, sizeof text, &bytes, NULL, NULL))
        bytes = 0;
    if (!ended)
        TerminateProcess(process.get(), 0);
    // An answer means loading finished, whatever the host did afterwards.
    if (bytes != 0)
        return ReadAnswer(text, bytes, detail);
    if (!ended)
        return LoadTimedOut;
    GetExitCodeProcess(process.get(), detail);
    return (*detail & kExceptionSeverity) == kExceptionSeverity ? LoadCrashed : LoadEndedProcess;
}
