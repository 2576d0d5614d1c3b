// Child processes and the handles they share with the installer: creating a
// hidden child from a command line (handles inherited), waiting for or
// killing it, anonymous pipes for its standard streams, blocking reads that
// another thread can interrupt, and writing a program file out of the
// executable's resources.
//
// Handles are plain values (OsHandle); whoever opens one closes it with
// CloseOsHandle. Any thread may call these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zdl {

// A file, pipe or process handle (a HANDLE on Windows, a descriptor or a
// process id natively).
using OsHandle = intptr_t;
constexpr OsHandle kNoOsHandle = -1;

// What process creation fills in. Natively |process| holds the process id
// and |thread| stays kNoOsHandle.
struct ProcessRecord {
    OsHandle process = kNoOsHandle;
    OsHandle thread = kNoOsHandle;
    uint32_t processId = 0;
    uint32_t threadId = 0;
};

// Standard handles handed to a child; kNoOsHandle keeps the installer's own.
struct ChildStdHandles {
    OsHandle input = kNoOsHandle;
    OsHandle output = kNoOsHandle;
    OsHandle error = kNoOsHandle;
};

// Splits a command line into arguments the way a Windows program's run-time
// library does: the first token names the program (quotes group, no
// escapes), later ones honour quotes and backslash-quote escapes. A GBK
// double-byte character is one character (its second byte may be 0x5C).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The program's arguments after its name, as GBK on Windows (from the wide
// command line, whatever the ANSI code page); natively argv as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Starts a hidden child (no window, CREATE_NO_WINDOW; natively in its own
// process group, so a terminal's Ctrl-C does not reach it) from
// |commandLine|, whose first token names the program. Handles marked
// inheritable are inherited. On failure returns false and leaves the
// system's code in LastErrorCode() (2 for a missing program).
bool CreateHiddenProcess(const std::string& commandLine, const ChildStdHandles* stdHandles, ProcessRecord* out);

// Waits up to |timeoutMs| for the child to end. True with its exit code when
// it has ended (natively a child killed by signal N reports 128 + N).
bool WaitForProcessExit(const ProcessRecord& process, uint32_t timeoutMs, int* exitCode);

// Ends the child at once (TerminateProcess / SIGKILL).
bool KillProcess(const ProcessRecord& process);

// Closes the record's handles (natively nothing: the id is not a handle).
void CloseProcessRecord(ProcessRecord* process);

// An anonymous pipe whose two ends are inheritable by children.
bool CreateInheritablePipe(OsHandle* readEnd, OsHandle* writeEnd);
void SetHandleInheritable(OsHandle handle, bool inheritable);

OsHandle StandardInputHandle();
OsHandle StandardOutputHandle();
OsHandle StandardErrorHandle();

enum class ReadResult { Data, Interrupted, Ended };

// One blocking read of up to |capacity| bytes. Ended when the other end
// closed or the handle is unusable; Interrupted when InterruptBlockingRead
// broke the wait (or a signal did, natively).
ReadResult ReadHandle(OsHandle handle, void* buffer, size_t capacity, size_t* got);

// Writes all bytes; false on error.
bool WriteHandle(OsHandle handle, const void* data, size_t size);

void CloseOsHandle(OsHandle handle);

// Opens |path| for appending (created if missing) as a handle children can
// inherit, e.g. for a child's standard output and error.
OsHandle OpenInheritableLogFile(const std::string& path);

// Identifies the calling thread so that another thread can interrupt its
// blocking ReadHandle. Release the token when done with it.
using ThreadToken = uintptr_t;
ThreadToken CurrentThreadToken();
void InterruptBlockingRead(ThreadToken thread);
void ReleaseThreadToken(ThreadToken thread);

// Writes |size| bytes as the executable file |path|, replacing any file of
// that name, with no sharing while writing.
enum class ProgramFileResult {
    Written, // the file now holds exactly the bytes
    InUse, // the file exists and is held (e.g. by a program running from
           // it: Windows codes 183/32, ETXTBSY natively); it was not
           // touched and may be used as it is
    Failed, // any other failure; LastErrorCode() tells why
};
ProgramFileResult WriteProgramFile(const std::string& path, const void* data, size_t size);

// Ends the calling process at once with |exitCode| (ExitProcess / _Exit).
[[noreturn]] void EndProcess(int exitCode);

} // namespace zdl
