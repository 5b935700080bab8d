#include "BenchProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace bench {

std::filesystem::path programs()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

pid_t spawn(const std::vector<std::string> &argv, const std::filesystem::path &log)
{
    std::vector<const char *> args;
    for (const auto &arg : argv)
        args.push_back(arg.c_str());
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(args[0], const_cast<char *const *>(args.data()));
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const auto commEnd = stat.rfind(')');
    if (commEnd == std::string::npos)
        return 0;
    // After the comm: state, then fields 4 to 15, of which 14 and 15 are
    // utime and stime in clock ticks.
    std::istringstream fields(stat.substr(commEnd + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace bench
