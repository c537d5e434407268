#include "jvm/probe_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarn::test {

BackgroundProcess::~BackgroundProcess() {
    if (running()) {
        kill(pid_t(id_), SIGKILL);
        wait();
    }
}

std::string probeArgument(const std::string& argument) {
    return quoteArgument(argument);
}

bool BackgroundProcess::supported() {
    return true;
}

bool BackgroundProcess::start(const std::string& program, const std::vector<std::string>& args,
                              const std::string& outputFile) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        // The test runner may ignore these; the probe must start with the defaults.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fd);
    if (pid < 0)
        return false;
    id_ = pid;
    return true;
}

bool BackgroundProcess::running() {
    if (id_ < 0)
        return false;
    int status;
    pid_t done = waitpid(pid_t(id_), &status, WNOHANG);
    if (done == 0)
        return true;
    if (done == pid_t(id_))
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    id_ = -1;
    return false;
}

bool BackgroundProcess::interrupt() {
    return id_ >= 0 && kill(pid_t(id_), SIGINT) == 0;
}

bool BackgroundProcess::terminate() {
    return id_ >= 0 && kill(pid_t(id_), SIGTERM) == 0;
}

int BackgroundProcess::wait() {
    if (id_ >= 0) {
        int status;
        if (waitpid(pid_t(id_), &status, 0) == pid_t(id_))
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        id_ = -1;
    }
    return status_;
}

} // namespace tarn::test
