#include "platform/Shell.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <vector>

extern char** environ;

namespace {

// A regular file that this process may execute. Folders have execute bits too.
bool IsExecutableFile(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.constData(), X_OK) == 0;
}

// Closes every descriptor from 3 up in the child about to exec: the program we
// start must not hold our lock files, sockets or downloads open.
void CloseInheritedDescriptors(int highest) {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3U, ~0U, 0U) == 0)
        return;
#endif
    for (int fd = 3; fd <= highest; ++fd)
        ::close(fd);
}

// Starts `argv` detached: a first child starts a session of its own and forks the
// program, then exits at once, so the program is adopted by the system (no zombie
// of ours) and survives our exit. Only async-signal-safe calls run after fork.
void SpawnDetached(const std::vector<QByteArray>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);

    struct rlimit limit {};
    const int highest =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 65536
            ? static_cast<int>(limit.rlim_cur) - 1
            : 65535;

    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        ::setsid();
        const pid_t program = ::fork();
        if (program == 0) {
            // Default signal handling and mask for the new program.
            struct sigaction action {};
            action.sa_handler = SIG_DFL;
            for (int signal = 1; signal < NSIG; ++signal)
                ::sigaction(signal, &action, nullptr);
            sigset_t none;
            ::sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0 && null != STDIN_FILENO) {
                ::dup2(null, STDIN_FILENO);
                ::close(null);
            }
            CloseInheritedDescriptors(highest);
            ::execve(argv[0], argv.data(), environ);
            ::_exit(127);
        }
        ::_exit(program < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

void ShellExecuteDefault(const QString& target, const QStringList& parameters) {
    if (target.isEmpty())
        return;
    const QByteArray name = QFile::encodeName(target);
    if (name.contains('\0'))
        return;

    // A bare name is looked up on PATH, as the shell finds a program by name.
    QByteArray program = name;
    if (!name.contains('/'))
        program = QFile::encodeName(QStandardPaths::findExecutable(target));

    std::vector<QByteArray> arguments;
    if (program.contains('/') && IsExecutableFile(program)) {
        arguments.push_back(program);
        for (const QString& parameter : parameters)
            arguments.push_back(parameter.toLocal8Bit());
    } else {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return;
        arguments.push_back(QFile::encodeName(opener));
        arguments.push_back(name);
    }
    SpawnDetached(arguments);
}
