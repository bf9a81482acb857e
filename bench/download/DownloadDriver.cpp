// A download over https through the real dialog against curl, from an nginx of our
// own on 127.0.0.1, so that the server is not what is measured. The driver makes an
// authority and a certificate for 127.0.0.1 with the openssl command line; curl
// trusts the authority through --cacert, the program through SSL_CERT_FILE in its
// own environment, as a user's copy would. Both go through the machine's libcurl
// and OpenSSL against nginx's default TLS settings, so they negotiate alike; what
// they agreed on is taken from nginx's log and printed. Per file size (16 MB and
// 256 MB) the contenders take turns, round after round, in alternating order:
//
//   curl -s --cacert CA -o FILE URL   wall time from spawn to exit
//   the dialog (offscreen)       its program's own time from the click on
//                                "Download and install" to the dialog's result,
//                                its wall time from spawn to exit, and the longest
//                                stretches in which its GUI thread handled no events
//   the downloader alone         the same program with --bare: no dialog, no
//                                progress handler; the GUI's share is the difference
//   the dialog, checksum stated  the dialog again, from an address whose answers
//                                carry the file's SHA-256 (Repr-Digest), so that the
//                                file is hashed as it arrives and checked
//   the same two at 100 MB/s     both again with nginx sending at most 100 MB a second,
//                                as over a gigabit network, where the transfer and not
//                                the processor sets the pace
//
// and the peak memory (ru_maxrss) and processor time (user and system) of each process. Prints figures only;
// it never judges them.
//
//   bench-download [rounds]        default 9 rounds per size, after one warm-up
//
// Needs nginx (Debian: nginx-light), curl and openssl on PATH or in /usr/sbin, /usr/bin.
#include "bench/startup/MonotonicClock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int DefaultRounds = 9;
constexpr long long ChildTimeoutNs = 300LL * 1000 * 1000 * 1000;
constexpr std::size_t MB = 1024 * 1024;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "bench-download: %s\n", message.c_str());
    std::exit(2);
}

std::optional<fs::path> FindProgram(const char* name) {
    std::vector<std::string> folders;
    if (const char* path = std::getenv("PATH")) {
        std::string all = path;
        for (std::size_t start = 0; start <= all.size();) {
            const std::size_t end = std::min(all.find(':', start), all.size());
            folders.push_back(all.substr(start, end - start));
            start = end + 1;
        }
    }
    folders.insert(folders.end(), {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
    for (const std::string& folder : folders) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// A folder of our own: in memory when the machine offers one, so that the disk is
// not what is measured either.
fs::path MakeWorkFolder() {
    const fs::path base = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    std::string pattern = (base / "kw-bench-download-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        Fail("cannot create a work folder in " + base.string() + ": " + std::strerror(errno));
    return pattern;
}

void WriteFile(const fs::path& path, std::size_t size) {
    std::vector<char> block(MB);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i % 251);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t left = size; left > 0;) {
        const std::size_t piece = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(piece));
        left -= piece;
    }
    if (!out)
        Fail("cannot write " + path.string());
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        Fail(std::string("no free port on 127.0.0.1: ") + std::strerror(errno));
    ::close(s);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
}

struct TRun {
    double WallSeconds = 0;
    double CpuSeconds = 0;
    long PeakKb = 0;
    std::string Output;
    int Status = -1;
};

// Runs `argv` with its standard output into `outputFile` and its error output
// dropped, or kept in that file too with `keepErrors`.
TRun RunProgram(const std::vector<std::string>& argv, const fs::path& outputFile,
                char* const* environment = environ, bool keepErrors = false) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (keepErrors)
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    TRun run;
    pid_t pid = 0;
    const long long start = MonotonicNanoseconds();
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        Fail("cannot start " + argv[0] + ": " + std::strerror(spawned));
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid)
            break;
        if (ended < 0 && errno != EINTR)
            Fail(std::string("wait4: ") + std::strerror(errno));
        if (MonotonicNanoseconds() - start > ChildTimeoutNs) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            Fail(argv[0] + " did not end in time; killed");
        }
        ::usleep(200);
    }
    run.WallSeconds = static_cast<double>(MonotonicNanoseconds() - start) / 1e9;
    run.PeakKb = usage.ru_maxrss;
    run.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outputFile);
    std::getline(in, run.Output, '\0');
    return run;
}

// The value after "name=" in a program's output line.
double Field(const std::string& output, const char* name) {
    const std::string key = std::string(name) + "=";
    const std::size_t at = output.find(key);
    if (at == std::string::npos)
        return -1;
    return std::strtod(output.c_str() + at + key.size(), nullptr);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TCertificates {
    fs::path Authority;
    fs::path Certificate;
    fs::path Key;
};

// A throwaway authority and a certificate for 127.0.0.1 signed by it, so that the
// clients verify the server as they would any other, and no trust store of the
// machine is touched.
TCertificates MakeCertificates(const fs::path& openssl, const fs::path& folder) {
    const fs::path tls = folder / "tls";
    fs::create_directories(tls);
    const TCertificates made{tls / "authority.pem", tls / "server.pem", tls / "server.key"};
    const fs::path authorityKey = tls / "authority.key";
    const fs::path request = tls / "server.csr";
    const fs::path extensions = tls / "server.ext";
    std::ofstream(extensions) << "basicConstraints=critical,CA:FALSE\n"
                              << "keyUsage=critical,digitalSignature\n"
                              << "extendedKeyUsage=serverAuth\n"
                              << "subjectAltName=IP:127.0.0.1\n";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), openssl.string());
        const TRun r = RunProgram(args, tls / "openssl.log", environ, true);
        if (r.Status != 0)
            Fail("openssl " + args[1] + " failed: " + r.Output);
    };
    run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
         authorityKey, "-out", made.Authority, "-days", "1", "-subj", "/CN=Tessaly bench authority",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
    run({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
         made.Key, "-out", request, "-subj", "/CN=127.0.0.1"});
    run({"x509", "-req", "-in", request, "-CA", made.Authority, "-CAkey", authorityKey, "-CAcreateserial",
         "-days", "1", "-extfile", extensions, "-out", made.Certificate});
    return made;
}

// Base64 of `bytes`, as a digest header carries it.
std::string Base64(const std::string& bytes) {
    static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? Alphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

// The SHA-256 of `file` in base64, by the openssl command line.
std::string Sha256Base64(const fs::path& openssl, const fs::path& file, const fs::path& folder) {
    const fs::path digest = folder / (file.filename().string() + ".sha256");
    const TRun r =
        RunProgram({openssl.string(), "dgst", "-sha256", "-binary", "-out", digest.string(), file.string()},
                   folder / "openssl-dgst.log", environ, true);
    std::ifstream in(digest, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (r.Status != 0 || bytes.size() != 32)
        Fail("openssl dgst failed: " + r.Output);
    return Base64(bytes);
}

// What the server states of a file: its name under the root and its SHA-256 in base64.
struct TStated {
    std::string Name;
    std::string Sha256;
};

class TNginx {
public:
    // Serves `root`; each file of `stated` also under /stated/NAME, with its checksum,
    // and both at 100 MB/s under /paced/NAME and /paced-stated/NAME.
    TNginx(const fs::path& nginx, const fs::path& folder, const fs::path& root, const TCertificates& tls,
           const std::vector<TStated>& stated) {
        FPort = FreePort();
        const passwd* user = ::getpwuid(::geteuid());
        const group* userGroup = ::getgrgid(::getegid());
        if (!user || !userGroup)
            Fail("cannot name the current user and group");
        const fs::path conf = folder / "nginx.conf";
        std::ofstream out(conf);
        out << "daemon off;\n"
            << "worker_processes 1;\n"
            // Workers of a master started by root would otherwise become nobody,
            // who cannot read our folder.
            << "user " << user->pw_name << ' ' << userGroup->gr_name << ";\n"
            << "pid " << (folder / "nginx.pid").string() << ";\n"
            << "error_log " << (folder / "error.log").string() << ";\n"
            << "events { worker_connections 64; }\n"
            << "http {\n"
            // One line per request, written after it: what each client negotiated.
            << "  log_format tls '$ssl_protocol $ssl_cipher $server_protocol $http_user_agent';\n"
            << "  access_log " << AccessLog(folder).string() << " tls;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            out << "  " << temp << "_temp_path " << (folder / (std::string("temp_") + temp)).string()
                << ";\n";
        out << "  server {\n"
            // No sendfile: under TLS nginx encrypts in user space.
            << "    listen 127.0.0.1:" << FPort << " ssl;\n"
            << "    ssl_certificate " << tls.Certificate.string() << ";\n"
            << "    ssl_certificate_key " << tls.Key.string() << ";\n"
            << "    root " << root.string() << ";\n";
        for (const TStated& file : stated) {
            const std::string alias = " { alias " + (root / file.Name).string() + "; ";
            const std::string digest = "add_header Repr-Digest \"sha-256=:" + file.Sha256 + ":\"; ";
            const std::string paced = "limit_rate 100m; ";
            out << "    location = /stated/" << file.Name << alias << digest << "}\n"
                << "    location = /paced/" << file.Name << alias << paced << "}\n"
                << "    location = /paced-stated/" << file.Name << alias << paced << digest << "}\n";
        }
        out << "  }\n"
            << "}\n";
        out.close();

        const std::string log = (folder / "error.log").string();
        const std::string prefix = folder.string() + "/";
        const std::string confText = conf.string();
        std::vector<char*> args{const_cast<char*>(nginx.c_str()),    const_cast<char*>("-e"),
                                const_cast<char*>(log.c_str()),      const_cast<char*>("-p"),
                                const_cast<char*>(prefix.c_str()),   const_cast<char*>("-c"),
                                const_cast<char*>(confText.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string console = (folder / "nginx.out").string();
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, console.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        const int spawned = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            Fail("cannot start nginx: " + std::string(std::strerror(spawned)));
        const long long start = MonotonicNanoseconds();
        while (!Accepts(FPort)) {
            int status = 0;
            if (::waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = 0;
                Fail("nginx ended at once; see " + log + " and " + console);
            }
            if (MonotonicNanoseconds() - start > 10LL * 1000 * 1000 * 1000)
                Fail("nginx does not accept connections; see " + log);
            ::usleep(10 * 1000);
        }
    }
    ~TNginx() {
        if (FPid <= 0)
            return;
        ::kill(FPid, SIGTERM);
        int status = 0;
        while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    TNginx(const TNginx&) = delete;
    TNginx& operator=(const TNginx&) = delete;

    std::string Url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(FPort) + path;
    }

    static fs::path AccessLog(const fs::path& folder) { return folder / "access.log"; }

private:
    pid_t FPid = 0;
    int FPort = 0;
};

struct TContender {
    const char* Label;
    std::vector<std::string> Command;
    char* const* Environment;
    bool OwnFigure;  // the program's "seconds=", else its wall time
    std::vector<double> Seconds = {};
    std::vector<double> Wall = {};  // spawn to exit
    std::vector<long> PeakKb = {};
    std::vector<double> CpuSeconds = {};
    std::vector<double> GapMaxMs = {};
    std::vector<double> GapP99Ms = {};
};

// Each distinct line of nginx's access log with how often it came.
void PrintNegotiated(const fs::path& log) {
    std::map<std::string, int> seen;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        ++seen[line];
    std::printf("\nNegotiated, from nginx's log (protocol, cipher, HTTP version, user agent):\n");
    for (const auto& [line, count] : seen)
        std::printf("  %-60s %4d requests\n", line.c_str(), count);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = DefaultRounds;
    if (argc > 1 &&
        (std::from_chars(argv[1], argv[1] + std::strlen(argv[1]), rounds).ec != std::errc() || rounds < 1)) {
        std::fprintf(stderr, "usage: bench-download [rounds]\n");
        return 2;
    }
    const std::optional<fs::path> nginx = FindProgram("nginx");
    const std::optional<fs::path> curl = FindProgram("curl");
    const std::optional<fs::path> openssl = FindProgram("openssl");
    if (!nginx || !curl || !openssl)
        Fail("needs nginx, curl and openssl (Debian packages nginx-light, curl and openssl)");
    std::error_code error;
    const fs::path program =
        fs::read_symlink("/proc/self/exe", error).parent_path() / "bench-download-program";
    if (error || ::access(program.c_str(), X_OK) != 0)
        Fail("bench-download-program is not beside this program");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    const fs::path folder = MakeWorkFolder();
    const fs::path root = folder / "www";
    fs::create_directories(root);
    fs::create_directories(folder / "out");
    const TCertificates tls = MakeCertificates(*openssl, folder);

    // The program's environment: ours, with our authority as the only trusted one.
    std::vector<std::string> programVariables;
    for (char** variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "SSL_CERT_FILE=", 14) != 0)
            programVariables.emplace_back(*variable);
    programVariables.push_back("SSL_CERT_FILE=" + tls.Authority.string());
    std::vector<char*> programEnvironment;
    for (std::string& variable : programVariables)
        programEnvironment.push_back(variable.data());
    programEnvironment.push_back(nullptr);

    // The files, and what the server states of them, before the server starts.
    constexpr std::size_t Sizes[] = {16 * MB, 256 * MB};
    std::vector<TStated> stated;
    for (const std::size_t size : Sizes) {
        const std::string name = "file" + std::to_string(size / MB);
        WriteFile(root / name, size);
        stated.push_back({name, Sha256Base64(*openssl, root / name, folder)});
    }

    {
        TNginx server(*nginx, folder, root, tls, stated);
        std::printf(
            "Download over https through the dialog (offscreen) against curl -s --cacert -o, nginx on\n"
            "127.0.0.1 with a certificate from an authority of our own, files in %s,\n"
            "%d rounds per size after one warm-up; medians.\n",
            folder.parent_path().c_str(), rounds);
        std::vector<std::pair<std::size_t, long>> dialogPeaks, checkedPeaks;
        for (const std::size_t size : Sizes) {
            const std::string name = "file" + std::to_string(size / MB);
            const std::string url = server.Url("/" + name);
            const std::string target = (folder / "out" / "setup.exe").string();
            const fs::path output = folder / "out" / "stdout.txt";

            TContender curlRuns{
                .Label = "curl",
                .Command = {curl->string(), "-s", "--cacert", tls.Authority.string(), "-o", target, url},
                .Environment = environ,
                .OwnFigure = false};
            TContender dialogRuns{.Label = "dialog",
                                  .Command = {program.string(), url, target},
                                  .Environment = programEnvironment.data(),
                                  .OwnFigure = true};
            TContender bareRuns{.Label = "downloader alone",
                                .Command = {program.string(), url, target, "--bare"},
                                .Environment = programEnvironment.data(),
                                .OwnFigure = true};
            TContender checkedRuns{.Label = "dialog, SHA-256",
                                   .Command = {program.string(), server.Url("/stated/" + name), target},
                                   .Environment = programEnvironment.data(),
                                   .OwnFigure = true};
            TContender pacedRuns{.Label = "dialog, 100 MB/s",
                                 .Command = {program.string(), server.Url("/paced/" + name), target},
                                 .Environment = programEnvironment.data(),
                                 .OwnFigure = true};
            TContender pacedCheckedRuns{
                .Label = "  and SHA-256",
                .Command = {program.string(), server.Url("/paced-stated/" + name), target},
                .Environment = programEnvironment.data(),
                .OwnFigure = true};
            std::vector<double> ratios, wallRatios, checkedRatios, pacedRatios;
            auto run = [&](TContender& contender, bool counted) {
                const TRun r = RunProgram(contender.Command, output, contender.Environment);
                std::error_code sizeError;
                const auto written = fs::file_size(target, sizeError);
                if (r.Status != 0 || sizeError || written != size)
                    Fail(std::string(contender.Label) + " did not fetch the whole file (exit " +
                         std::to_string(r.Status) + ", " + (sizeError ? "no file" : std::to_string(written)) +
                         " bytes): " + r.Output);
                fs::remove(target);
                if (!counted)
                    return 0.0;
                const double seconds = contender.OwnFigure ? Field(r.Output, "seconds") : r.WallSeconds;
                contender.Seconds.push_back(seconds);
                contender.Wall.push_back(r.WallSeconds);
                contender.PeakKb.push_back(r.PeakKb);
                contender.CpuSeconds.push_back(r.CpuSeconds);
                if (const double gap = Field(r.Output, "gap_max_ms"); gap >= 0)
                    contender.GapMaxMs.push_back(gap);
                if (const double gap = Field(r.Output, "gap_p99_ms"); gap >= 0)
                    contender.GapP99Ms.push_back(gap);
                return seconds;
            };
            for (int round = -1; round < rounds; ++round) {
                const bool counted = round >= 0;
                double curlSeconds = 0, dialogSeconds = 0, checkedSeconds = 0;
                if (round % 2 == 0) {
                    curlSeconds = run(curlRuns, counted);
                    dialogSeconds = run(dialogRuns, counted);
                    checkedSeconds = run(checkedRuns, counted);
                } else {
                    checkedSeconds = run(checkedRuns, counted);
                    dialogSeconds = run(dialogRuns, counted);
                    curlSeconds = run(curlRuns, counted);
                }
                run(bareRuns, counted);
                if (counted) {
                    ratios.push_back(dialogSeconds / curlSeconds);
                    wallRatios.push_back(dialogRuns.Wall.back() / curlSeconds);
                    checkedRatios.push_back(checkedSeconds / dialogSeconds);
                }
                const double pacedSeconds = run(pacedRuns, counted);
                const double pacedCheckedSeconds = run(pacedCheckedRuns, counted);
                if (counted)
                    pacedRatios.push_back(pacedCheckedSeconds / pacedSeconds);
            }
            fs::remove(root / name);

            std::printf("\n%zu MB\n", size / MB);
            auto line = [](const TContender& c, const char* what) {
                std::vector<double> peaks(c.PeakKb.begin(), c.PeakKb.end());
                std::printf("  %-18s %8.3f s  %-34s peak %6.1f MB, cpu %.3f s\n", c.Label, Median(c.Seconds),
                            what, Median(peaks) / 1024, Median(c.CpuSeconds));
            };
            line(curlRuns, "(spawn to exit)");
            line(dialogRuns, "(click to result)");
            std::printf("  %-18s %8.3f s  %-34s\n", "", Median(dialogRuns.Wall),
                        "(spawn to exit, with Qt start-up)");
            line(bareRuns, "(Download() alone, no GUI)");
            line(checkedRuns, "(click to result, file checked)");
            std::printf("  ratio dialog / curl: %.2f (median of the rounds' ratios; %.2f spawn to exit)\n",
                        Median(ratios), Median(wallRatios));
            if (!dialogRuns.GapMaxMs.empty() && !dialogRuns.GapP99Ms.empty())
                std::printf(
                    "  GUI thread without events during the download: longest %.1f ms, "
                    "99th percentile %.1f ms\n",
                    Median(dialogRuns.GapMaxMs), Median(dialogRuns.GapP99Ms));
            std::printf("  ratio with the checksum stated / without: %.2f (median of the rounds' ratios)\n",
                        Median(checkedRatios));
            line(pacedRuns, "(click to result)");
            line(pacedCheckedRuns, "(click to result, file checked)");
            std::printf("  ratio at 100 MB/s with the checksum stated / without: %.2f\n",
                        Median(pacedRatios));
            std::vector<double> peaks(dialogRuns.PeakKb.begin(), dialogRuns.PeakKb.end());
            dialogPeaks.emplace_back(size, static_cast<long>(Median(peaks)));
            std::vector<double> checked(checkedRuns.PeakKb.begin(), checkedRuns.PeakKb.end());
            checkedPeaks.emplace_back(size, static_cast<long>(Median(checked)));
        }
        if (dialogPeaks.size() == 2)
            std::printf(
                "\nPeak memory of the dialog's process: %.1f MB for %zu MB, %.1f MB for %zu MB (x%.2f)\n",
                dialogPeaks[0].second / 1024.0, dialogPeaks[0].first / MB, dialogPeaks[1].second / 1024.0,
                dialogPeaks[1].first / MB,
                static_cast<double>(dialogPeaks[1].second) / static_cast<double>(dialogPeaks[0].second));
        if (checkedPeaks.size() == 2)
            std::printf(
                "Peak memory with the checksum stated: %.1f MB for %zu MB, %.1f MB for %zu MB (x%.2f)\n",
                checkedPeaks[0].second / 1024.0, checkedPeaks[0].first / MB, checkedPeaks[1].second / 1024.0,
                checkedPeaks[1].first / MB,
                static_cast<double>(checkedPeaks[1].second) / static_cast<double>(checkedPeaks[0].second));
    }
    // Read once nginx has stopped, so that the last request's line is in.
    PrintNegotiated(TNginx::AccessLog(folder));
    fs::remove_all(folder, error);
    return 0;
}
