#pragma once

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

// The context switches of each thread of `pid` so far, by thread name and id: the
// voluntary ones (each a sleep followed by a wake-up), and with `preempted` also those
// where another program took the core.
inline std::map<std::string, long> ContextSwitches(pid_t pid, bool preempted) {
    std::map<std::string, long> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::string name;
        std::ifstream comm(task.path() / "comm");
        std::getline(comm, name);
        long& total = threads[name + " (" + task.path().filename().string() + ")"];
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                (preempted && line.rfind("nonvoluntary_ctxt_switches:", 0) == 0))
                total += std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return threads;
}
