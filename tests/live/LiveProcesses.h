#pragma once

// The live tests run jackd and gravel as processes of their own: started
// with their output in a log file, waited for, and polled for.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace live_test {

using namespace std::chrono_literals;

// "NAME=VALUE" in env sets a variable, a bare "NAME" removes it. The log is
// emptied before the fork: a test reads it to know the program is up.
inline pid_t spawn(const std::vector<std::string>& args, const std::string& log,
                   const std::vector<std::string>& env = {})
{
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env)
            e.find('=') == std::string::npos ? unsetenv(e.c_str()) : putenv(const_cast<char*>(e.c_str()));
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(fd);
    return pid;
}

inline int exitOf(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <class F>
bool waitFor(F condition, std::chrono::milliseconds limit = 10s)
{
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(10ms))
        if (condition())
            return true;
    return false;
}

} // namespace live_test
