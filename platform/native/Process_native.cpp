#include "platform/Process.h"

#include "platform/SystemInfo.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zdl {

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool CreateHiddenProcess(const std::string& commandLine, const ChildStdHandles* stdHandles, ProcessRecord* out)
{
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        SetLastErrorCode(ENOENT);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdHandles) {
        const OsHandle wanted[3] = { stdHandles->input, stdHandles->output, stdHandles->error };
        for (int fd = 0; fd < 3; ++fd) {
            if (wanted[fd] != kNoOsHandle)
                posix_spawn_file_actions_adddup2(&actions, static_cast<int>(wanted[fd]), fd);
        }
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);

    pid_t pid = 0;
    int rc = std::strchr(argv[0], '/') ? posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ)
                                       : posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastErrorCode(static_cast<uint32_t>(rc));
        return false;
    }
    out->process = pid;
    out->thread = kNoOsHandle;
    out->processId = static_cast<uint32_t>(pid);
    out->threadId = 0;
    return true;
}

bool WaitForProcessExit(const ProcessRecord& process, uint32_t timeoutMs, int* exitCode)
{
    const uint32_t start = TickCountMs();
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(static_cast<pid_t>(process.process), &status, WNOHANG);
        if (r == static_cast<pid_t>(process.process)) {
            if (WIFEXITED(status))
                *exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                *exitCode = 128 + WTERMSIG(status);
            else
                continue;
            return true;
        }
        if (r < 0 && errno != EINTR)
            return false;
        if (TickCountMs() - start >= timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool KillProcess(const ProcessRecord& process)
{
    return process.process > 0 && ::kill(static_cast<pid_t>(process.process), SIGKILL) == 0;
}

void CloseProcessRecord(ProcessRecord* process)
{
    *process = ProcessRecord();
}

bool CreateInheritablePipe(OsHandle* readEnd, OsHandle* writeEnd)
{
    // Close-on-exec here: the child receives the ends it needs through its
    // standard handles, and no stray copy keeps a pipe open.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    *readEnd = fds[0];
    *writeEnd = fds[1];
    return true;
}

void SetHandleInheritable(OsHandle handle, bool inheritable)
{
    int fd = static_cast<int>(handle);
    int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, inheritable ? (flags & ~FD_CLOEXEC) : (flags | FD_CLOEXEC));
}

OsHandle StandardInputHandle()
{
    return STDIN_FILENO;
}

OsHandle StandardOutputHandle()
{
    return STDOUT_FILENO;
}

OsHandle StandardErrorHandle()
{
    return STDERR_FILENO;
}

ReadResult ReadHandle(OsHandle handle, void* buffer, size_t capacity, size_t* got)
{
    ssize_t n = ::read(static_cast<int>(handle), buffer, capacity);
    if (n > 0) {
        *got = static_cast<size_t>(n);
        return ReadResult::Data;
    }
    *got = 0;
    if (n < 0 && errno == EINTR)
        return ReadResult::Interrupted;
    return ReadResult::Ended;
}

bool WriteHandle(OsHandle handle, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(static_cast<int>(handle), p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void CloseOsHandle(OsHandle handle)
{
    if (handle != kNoOsHandle)
        ::close(static_cast<int>(handle));
}

OsHandle OpenInheritableLogFile(const std::string& path)
{
    // Close-on-exec like every handle here: a child gets it by dup2.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return fd < 0 ? kNoOsHandle : fd;
}

// Interrupting a blocked read: a signal with an empty handler installed
// without SA_RESTART makes read() return EINTR.
static constexpr int kInterruptSignal = SIGUSR2;

static void IgnoreInterrupt(int) { }

ThreadToken CurrentThreadToken()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = IgnoreInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ::sigaction(kInterruptSignal, &sa, nullptr);
    });
    return static_cast<ThreadToken>(pthread_self());
}

void InterruptBlockingRead(ThreadToken thread)
{
    pthread_kill(static_cast<pthread_t>(thread), kInterruptSignal);
}

void ReleaseThreadToken(ThreadToken) { }

ProgramFileResult WriteProgramFile(const std::string& path, const void* data, size_t size)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0)
        return errno == ETXTBSY ? ProgramFileResult::InUse : ProgramFileResult::Failed;
    ::fchmod(fd, 0755);
    bool ok = WriteHandle(fd, data, size);
    int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return ok ? ProgramFileResult::Written : ProgramFileResult::Failed;
}

} // namespace zdl

namespace zdl {

void EndProcess(int exitCode)
{
    std::_Exit(exitCode);
}

} // namespace zdl
