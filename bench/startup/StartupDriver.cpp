// Start-up time of the launcher against a bare Qt window of the same size: from
// just before the process is spawned to the first paint of its window. The two
// programs take turns, round after round, so that whatever else the machine does
// falls on both alike. Prints figures only; it never judges them.
//
//   bench-startup [rounds] [--fresh-registry]
//
// rounds: default 30, plus one warm-up round that is not counted. The programs
// get a registry folder of their own, empty when the run begins: by default one
// for the whole run, so that the measured starts find the hive that the warm-up
// start wrote, as every start but the first does on a user's machine; with
// --fresh-registry every start gets a new empty one and writes the hive itself.
#include "bench/startup/MonotonicClock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int DefaultRounds = 30;
constexpr int WarmUpRounds = 1;
// A program that has not painted by then is not coming: it is killed and the run fails.
constexpr long long ChildTimeoutNs = 30LL * 1000 * 1000 * 1000;

struct TProgram {
    const char* Label;
    fs::path Path;
    std::vector<double> FirstPaintMs;
    std::vector<double> FrameDoneMs;
};

struct TSample {
    double FirstPaintMs;
    double FrameDoneMs;
};

fs::path OwnFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        std::fprintf(stderr, "bench-startup: cannot find its own folder: %s\n", error.message().c_str());
        std::exit(2);
    }
    return self.parent_path();
}

// The children's environment: ours, with the offscreen platform unless one is
// chosen already, and the registry in `registry` so that the machine's is never read.
std::vector<std::string> ChildEnvironment(const fs::path& registry) {
    std::vector<std::string> variables;
    bool platformSet = false;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        if (variable.starts_with("KESTRELWEAVE_REGISTRY="))
            continue;
        if (variable.starts_with("QT_QPA_PLATFORM=")) {
            if (variable == "QT_QPA_PLATFORM=")
                continue;  // set but empty: no choice made
            platformSet = true;
        }
        variables.emplace_back(variable);
    }
    if (!platformSet)
        variables.emplace_back("QT_QPA_PLATFORM=offscreen");
    variables.push_back("KESTRELWEAVE_REGISTRY=" + registry.string());
    return variables;
}

std::optional<long long> FindValue(const std::string& output, std::string_view key) {
    const std::string prefix = std::string(key) + ' ';
    const size_t at = output.find(prefix);
    if (at == std::string::npos || (at != 0 && output[at - 1] != '\n'))
        return std::nullopt;
    const char* first = output.data() + at + prefix.size();
    long long value = 0;
    const auto [end, error] = std::from_chars(first, output.data() + output.size(), value);
    if (error != std::errc() || end == first)
        return std::nullopt;
    return value;
}

// Drains the child's output and error streams until it has ended (or both streams
// are closed) or the deadline passes. Whatever the child leaves running may hold the
// streams open, so its end, not theirs, is what counts. True when it has ended.
bool Collect(pid_t pid, int outFd, int errFd, long long deadline, std::string& out, std::string& err,
             int& status) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    const auto drain = [&](int i) {
        char buffer[4096];
        for (;;) {
            const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(count));
                continue;
            }
            if (count < 0 && errno == EINTR)
                continue;
            if (count == 0 || errno != EAGAIN)
                fds[i].fd = -1;  // closed
            return;
        }
    };
    for (;;) {
        const long long left = deadline - MonotonicNanoseconds();
        if (left <= 0)
            return false;
        const bool streamsOpen = fds[0].fd >= 0 || fds[1].fd >= 0;
        // Once both streams are closed only the child's end is awaited; poll then just sleeps.
        const int wait = streamsOpen ? static_cast<int>(std::min<long long>(left / 1000000 + 1, 10)) : 1;
        if (::poll(fds, 2, wait) < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < 2; ++i)
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                drain(i);
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            for (int i = 0; i < 2; ++i)
                if (fds[i].fd >= 0)
                    drain(i);
            return true;
        }
    }
}

fs::path MakeRegistryFolder() {
    std::string pattern = (fs::temp_directory_path() / "bench-startup-registry-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("bench-startup: a temporary registry folder");
        std::exit(2);
    }
    return pattern;
}

// Runs `program` once; the times are measured from just before the spawn.
std::optional<TSample> RunOnce(const TProgram& program, const fs::path& registry) {
    const std::vector<std::string> environment = ChildEnvironment(registry);
    std::vector<char*> envp;
    for (const std::string& variable : environment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    const std::string path = program.Path.string();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
        ::fcntl(outPipe[0], F_SETFL, O_NONBLOCK) != 0 || ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK) != 0) {
        std::perror("bench-startup: pipe");
        std::exit(2);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    pid_t pid = 0;
    const long long started = MonotonicNanoseconds();
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    std::string out, err;
    bool finished = false;
    int status = 0;
    if (spawned != 0) {
        std::fprintf(stderr, "bench-startup: cannot start %s: %s\n", path.c_str(), std::strerror(spawned));
    } else {
        finished = Collect(pid, outPipe[0], errPipe[0], started + ChildTimeoutNs, out, err, status);
        if (!finished) {
            std::fprintf(stderr, "bench-startup: %s did not end within %lld s; killed\n", program.Label,
                         ChildTimeoutNs / 1000000000);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    if (spawned != 0 || !finished)
        return std::nullopt;

    const std::optional<long long> firstPaint = FindValue(out, "first-paint-ns");
    const std::optional<long long> frameDone = FindValue(out, "frame-done-ns");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !firstPaint || !frameDone) {
        std::fprintf(stderr, "bench-startup: %s failed (%s %d) or did not report its first paint\n",
                     program.Label, WIFEXITED(status) ? "exit code" : "signal",
                     WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        std::fprintf(stderr, "--- its output ---\n%s--- its errors ---\n%s---\n", out.c_str(), err.c_str());
        return std::nullopt;
    }
    return TSample{double(*firstPaint - started) / 1e6, double(*frameDone - started) / 1e6};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Min(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

std::vector<double> Ratios(const std::vector<double>& ours, const std::vector<double>& bare) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size(); ++i)
        ratios.push_back(ours[i] / bare[i]);
    return ratios;
}

struct TOptions {
    int Rounds = DefaultRounds;
    bool FreshRegistry = false;
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    bool roundsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view text(argv[i]);
        if (text == "--fresh-registry") {
            options.FreshRegistry = true;
            continue;
        }
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.Rounds);
        if (roundsGiven || error != std::errc() || end != text.data() + text.size() || options.Rounds < 1) {
            std::fprintf(stderr, "usage: %s [rounds] [--fresh-registry]   (rounds >= 1, default %d)\n",
                         argv[0], DefaultRounds);
            std::exit(2);
        }
        roundsGiven = true;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);
    const int rounds = options.Rounds;
    const fs::path folder = OwnFolder();
    TProgram ours{"bench-startup-program", folder / "bench-startup-program", {}, {}};
    TProgram bare{"bench-startup-bare", folder / "bench-startup-bare", {}, {}};

    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf(
        "start-up, from spawn to first paint: %d rounds (+%d warm-up), platform %s, %s\n"
        "(first paint: the first paint event reaches the window; frame: that paint pass has ended)\n",
        rounds, WarmUpRounds, platform && *platform ? platform : "offscreen",
        options.FreshRegistry ? "a fresh empty registry for every start" : "one registry for the run");
    std::fflush(stdout);

    const fs::path sharedRegistry = MakeRegistryFolder();
    std::error_code ignored;
    for (int round = -WarmUpRounds; round < rounds; ++round) {
        // Who goes first alternates, so neither always runs on the other's warm caches.
        TProgram* order[2] = {&ours, &bare};
        if (round % 2 != 0)
            std::swap(order[0], order[1]);
        for (TProgram* program : order) {
            const fs::path registry = options.FreshRegistry ? MakeRegistryFolder() : sharedRegistry;
            const std::optional<TSample> sample = RunOnce(*program, registry);
            if (options.FreshRegistry)
                fs::remove_all(registry, ignored);
            if (!sample) {
                fs::remove_all(sharedRegistry, ignored);
                return 1;
            }
            if (round < 0)
                continue;
            program->FirstPaintMs.push_back(sample->FirstPaintMs);
            program->FrameDoneMs.push_back(sample->FrameDoneMs);
        }
    }

    fs::remove_all(sharedRegistry, ignored);

    std::printf("%-24s %12s %12s %16s %16s\n", "", "median ms", "min ms", "frame median ms", "frame min ms");
    for (const TProgram* program : {&ours, &bare}) {
        std::printf("%-24s %12.2f %12.2f %16.2f %16.2f\n", program->Label, Median(program->FirstPaintMs),
                    Min(program->FirstPaintMs), Median(program->FrameDoneMs), Min(program->FrameDoneMs));
    }
    const std::vector<double> ratios = Ratios(ours.FirstPaintMs, bare.FirstPaintMs);
    std::printf(
        "ratio ours / bare, first paint: median of rounds %.3f (min %.3f, max %.3f); of medians %.3f\n",
        Median(ratios), Min(ratios), *std::max_element(ratios.begin(), ratios.end()),
        Median(ours.FirstPaintMs) / Median(bare.FirstPaintMs));
    std::printf("ratio ours / bare, frame done:  median of rounds %.3f\n",
                Median(Ratios(ours.FrameDoneMs, bare.FrameDoneMs)));
    std::printf("target: ratio at most 1.5 (median of rounds, first paint)\n");
    return 0;
}
