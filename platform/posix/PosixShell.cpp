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
#include <ctime>
#include <vector>

extern char** environ;

namespace {

// A regular file that this process may execute. Folders have execute bits too.
bool IsExecutableFile(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.constData(), X_OK) == 0;
}

// Closes every descriptor from 3 up but `keep` in the child about to exec: the program
// we start must not hold our lock files, sockets or downloads open.
void CloseInheritedDescriptors(int highest, int keep) {
#ifdef SYS_close_range
    if ((keep == 3 || ::syscall(SYS_close_range, 3U, unsigned(keep - 1), 0U) == 0) &&
        ::syscall(SYS_close_range, unsigned(keep + 1), ~0U, 0U) == 0)
        return;
#endif
    for (int fd = 3; fd <= highest; ++fd)
        if (fd != keep)
            ::close(fd);
}

// What a start tells through its pipe, if anything: that the program could not be
// executed (with errno), or that it ended (with its exit status).
struct TSpawnNote {
    enum : int { None, ExecFailed, Ended } Kind = None;
    int Value = 0;
};

// How long an opener is waited for. It hands the target to a program and ends, unless
// the desktop has it run that program itself, which then goes on alone.
constexpr long OpenerWaitMilliseconds = 1000;

void Note(int pipe, const TSpawnNote& note) {
    while (::write(pipe, &note, sizeof note) < 0 && errno == EINTR) {
    }
}

// Starts `argv` detached: a first child starts a session of its own and forks the
// program, then exits, so the program is adopted by the system (no zombie of ours) and
// survives our exit. Returns what came back through a pipe that the exec closes: the
// exec failing, and with `waitForEnd`, the program's exit status if it ends within
// OpenerWaitMilliseconds. Only async-signal-safe calls run after fork.
TSpawnNote SpawnDetached(const std::vector<QByteArray>& arguments, bool waitForEnd) {
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

    int notes[2];
    if (::pipe2(notes, O_CLOEXEC) != 0)
        return {TSpawnNote::ExecFailed, errno};
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(notes[0]);
        ::close(notes[1]);
        return {TSpawnNote::ExecFailed, error};
    }
    if (child == 0) {
        ::close(notes[0]);
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
            CloseInheritedDescriptors(highest, notes[1]);
            ::execve(argv[0], argv.data(), environ);
            Note(notes[1], {TSpawnNote::ExecFailed, errno});
            ::_exit(127);
        }
        if (program < 0)
            Note(notes[1], {TSpawnNote::ExecFailed, errno});
        for (long waited = 0; program > 0 && waitForEnd && waited < OpenerWaitMilliseconds; waited += 10) {
            int status = 0;
            if (::waitpid(program, &status, WNOHANG) == program) {
                Note(notes[1], {TSpawnNote::Ended, WIFEXITED(status) ? WEXITSTATUS(status) : 128});
                break;
            }
            const timespec pause{0, 10 * 1000 * 1000};
            ::nanosleep(&pause, nullptr);
        }
        ::_exit(0);
    }
    ::close(notes[1]);
    // Until the program runs and the first child has ended, or a note came.
    TSpawnNote note;
    ssize_t got = 0;
    while ((got = ::read(notes[0], &note, sizeof note)) < 0 && errno == EINTR) {
    }
    ::close(notes[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return got == ssize_t(sizeof note) ? note : TSpawnNote();
}

TStartResult Failure(TStartFailure failure, TSystemError reason = {}) {
    return {failure, std::move(reason), {}};
}

}  // namespace

TStartResult ShellExecuteDefault(const QString& target, const QStringList& parameters) {
    const QByteArray name = QFile::encodeName(target);
    if (target.isEmpty() || name.contains('\0'))
        return Failure(TStartFailure::FileMissing);
    // A path that leads nowhere is not handed to anyone.
    struct stat status {};
    if (name.startsWith('/') && ::stat(name.constData(), &status) != 0 &&
        (errno == ENOENT || errno == ENOTDIR))
        return Failure(TStartFailure::FileMissing);

    // A bare name is looked up on PATH, as the shell finds a program by name.
    QByteArray program = name;
    if (!name.contains('/'))
        program = QFile::encodeName(QStandardPaths::findExecutable(target));

    std::vector<QByteArray> arguments;
    if (program.contains('/') && IsExecutableFile(program)) {
        arguments.push_back(program);
        for (const QString& parameter : parameters)
            arguments.push_back(parameter.toLocal8Bit());
        const TSpawnNote note = SpawnDetached(arguments, false);
        if (note.Kind != TSpawnNote::ExecFailed)
            return {};
        // Gone since it was looked at; not a program the system can run (no "#!" line,
        // another machine's, a file system that runs nothing); or the system's reason.
        const TSystemError error = SystemError(note.Value);
        if (error.Kind == TSystemErrorKind::NotFound)
            return Failure(TStartFailure::FileMissing);
        if (note.Value == ENOEXEC || note.Value == EACCES)
            return Failure(TStartFailure::NoProgram);
        return Failure(TStartFailure::Failed, error);
    }

    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return {TStartFailure::OpenerMissing, {}, QStringLiteral("xdg-open")};
    arguments.push_back(QFile::encodeName(opener));
    arguments.push_back(name);
    const TSpawnNote note = SpawnDetached(arguments, true);
    if (note.Kind == TSpawnNote::ExecFailed)
        return Failure(TStartFailure::Failed, SystemError(note.Value));
    if (note.Kind == TSpawnNote::None || note.Value == 0)
        return {};
    // The opener's own statuses: 2, the file does not exist; 3, no program for it is
    // installed; 4, opening it failed.
    if (note.Value == 2)
        return Failure(TStartFailure::FileMissing);
    if (note.Value == 3 || note.Value == 4)
        return Failure(TStartFailure::NoProgram);
    return Failure(TStartFailure::Failed,
                   OtherError(QStringLiteral("xdg-open ended with status %1").arg(note.Value)));
}
