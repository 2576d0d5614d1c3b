#include "platform/Process.h"

#include <windows.h>

namespace zdl {

static HANDLE ToHandle(OsHandle h)
{
    return h == kNoOsHandle ? nullptr : reinterpret_cast<HANDLE>(h);
}

static OsHandle FromHandle(HANDLE h)
{
    return h == nullptr || h == INVALID_HANDLE_VALUE ? kNoOsHandle : reinterpret_cast<OsHandle>(h);
}

bool CreateHiddenProcess(const std::string& commandLine, const ChildStdHandles* stdHandles, ProcessRecord* out)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (stdHandles) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput
            = stdHandles->input != kNoOsHandle ? ToHandle(stdHandles->input) : GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput
            = stdHandles->output != kNoOsHandle ? ToHandle(stdHandles->output) : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError
            = stdHandles->error != kNoOsHandle ? ToHandle(stdHandles->error) : GetStdHandle(STD_ERROR_HANDLE);
    }
    // CreateProcessA may write into the command line; give it a copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(
            nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info))
        return false;
    out->process = FromHandle(info.hProcess);
    out->thread = FromHandle(info.hThread);
    out->processId = info.dwProcessId;
    out->threadId = info.dwThreadId;
    return true;
}

bool WaitForProcessExit(const ProcessRecord& process, uint32_t timeoutMs, int* exitCode)
{
    HANDLE h = ToHandle(process.process);
    if (!h || WaitForSingleObject(h, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(h, &code))
        return false;
    *exitCode = static_cast<int>(code);
    return true;
}

bool KillProcess(const ProcessRecord& process)
{
    HANDLE h = ToHandle(process.process);
    return h && TerminateProcess(h, 1);
}

void CloseProcessRecord(ProcessRecord* process)
{
    CloseOsHandle(process->process);
    CloseOsHandle(process->thread);
    *process = ProcessRecord();
}

bool CreateInheritablePipe(OsHandle* readEnd, OsHandle* writeEnd)
{
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &sa, 0))
        return false;
    *readEnd = FromHandle(r);
    *writeEnd = FromHandle(w);
    return true;
}

void SetHandleInheritable(OsHandle handle, bool inheritable)
{
    SetHandleInformation(ToHandle(handle), HANDLE_FLAG_INHERIT, inheritable ? HANDLE_FLAG_INHERIT : 0);
}

OsHandle StandardInputHandle()
{
    return FromHandle(GetStdHandle(STD_INPUT_HANDLE));
}

OsHandle StandardOutputHandle()
{
    return FromHandle(GetStdHandle(STD_OUTPUT_HANDLE));
}

OsHandle StandardErrorHandle()
{
    return FromHandle(GetStdHandle(STD_ERROR_HANDLE));
}

ReadResult ReadHandle(OsHandle handle, void* buffer, size_t capacity, size_t* got)
{
    DWORD n = 0;
    DWORD cap = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    BOOL ok = ReadFile(ToHandle(handle), buffer, cap, &n, nullptr);
    *got = n;
    // A successful read of nothing (a zero-length write at the other end)
    // is not the end of the stream; only a failed read is.
    if (ok)
        return ReadResult::Data;
    if (!ok && GetLastError() == ERROR_OPERATION_ABORTED)
        return ReadResult::Interrupted;
    return ReadResult::Ended;
}

bool WriteHandle(OsHandle handle, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!WriteFile(ToHandle(handle), p, chunk, &n, nullptr) || n == 0)
            return false;
        p += n;
        size -= n;
    }
    return true;
}

void CloseOsHandle(OsHandle handle)
{
    if (handle != kNoOsHandle)
        CloseHandle(ToHandle(handle));
}

OsHandle OpenInheritableLogFile(const std::string& path)
{
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    return FromHandle(h);
}

ThreadToken CurrentThreadToken()
{
    HANDLE real = nullptr;
    DuplicateHandle(
        GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &real, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return reinterpret_cast<ThreadToken>(real);
}

void InterruptBlockingRead(ThreadToken thread)
{
    if (thread)
        CancelSynchronousIo(reinterpret_cast<HANDLE>(thread));
}

void ReleaseThreadToken(ThreadToken thread)
{
    if (thread)
        CloseHandle(reinterpret_cast<HANDLE>(thread));
}

ProgramFileResult WriteProgramFile(const std::string& path, const void* data, size_t size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code == ERROR_ALREADY_EXISTS || code == ERROR_SHARING_VIOLATION ? ProgramFileResult::InUse
                                                                               : ProgramFileResult::Failed;
    }
    DWORD written = 0;
    bool ok
        = size <= 0xFFFFFFFFu && WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    DWORD code = GetLastError();
    CloseHandle(file);
    SetLastError(code);
    return ok ? ProgramFileResult::Written : ProgramFileResult::Failed;
}

} // namespace zdl

namespace zdl {

void EndProcess(int exitCode)
{
    ExitProcess(static_cast<UINT>(exitCode));
}

} // namespace zdl
