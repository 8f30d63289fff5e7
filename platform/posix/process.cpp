// Detached programs: a double fork, so that the command's process belongs to init, never to the caller.
#include "platform/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace vutil::platform {
namespace {

constexpr char kInterpreter[] = "/bin/sh";

/// Runs in the grandchild, where only async-signal-safe calls are allowed: it
/// gives the command default signal handling, no input and none of the
/// caller's other files, then the interpreter. Returns only when the
/// interpreter could not be started.
void execInterpreter(const char *commandLine, int highestFile) noexcept {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        sigaction(signal, &standard, nullptr);  // fails harmlessly for SIGKILL, SIGSTOP and reserved numbers
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int input = open("/dev/null", O_RDONLY);
    if (input > 0) {
        dup2(input, 0);
        close(input);
    }
    // Close-on-exec rather than closed: the failure pipe must outlive a failed exec.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int file = 3; file <= highestFile; ++file) {
            fcntl(file, F_SETFD, FD_CLOEXEC);
        }
    }
    char *const arguments[] = {const_cast<char *>("sh"), const_cast<char *>("-c"), const_cast<char *>(commandLine),
                               nullptr};
    execve(kInterpreter, arguments, environ);
}

void report(int pipe, int error) noexcept {
    ssize_t ignored = write(pipe, &error, sizeof error);
    (void)ignored;
}

}  // namespace

StartResult startDetached(const char *commandLine) noexcept {
    // The grandchild reports a failed exec through this pipe; a successful exec
    // closes it (close-on-exec), so the caller reads end of file.
    int failure[2];
    if (pipe2(failure, O_CLOEXEC) != 0) {
        return StartResult::NoResources;
    }
    // For hosts without close_range; sysconf may not be called after the fork.
    const long openMax = sysconf(_SC_OPEN_MAX);
    const int highestFile = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) - 1 : 65535;
    const pid_t middle = fork();
    if (middle == 0) {
        close(failure[0]);
        setsid();  // away from the caller's terminal and its signals
        const pid_t command = fork();
        if (command == 0) {
            execInterpreter(commandLine, highestFile);
            report(failure[1], errno);
            _exit(127);
        }
        if (command < 0) {
            report(failure[1], errno);
        }
        _exit(0);  // the command's process now belongs to init
    }
    close(failure[1]);
    if (middle < 0) {
        close(failure[0]);
        return StartResult::NoResources;
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(failure[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(failure[0]);
    // Reap the middle process. A caller that reaps every child itself, or
    // ignores SIGCHLD, may have done so already (ECHILD).
    while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof error)) {
        return StartResult::Started;
    }
    return error == EAGAIN || error == ENOMEM ? StartResult::NoResources : StartResult::NoInterpreter;
}

}  // namespace vutil::platform
