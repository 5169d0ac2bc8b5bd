// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RunningProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/support/Waiting.h"

extern char** environ;

namespace vireon::testsupport {
namespace {

std::filesystem::path uniqueFile(const std::string& stem) {
    static int counter = 0;
    return std::filesystem::temp_directory_path() /
           (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
}

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

RunningProgram::RunningProgram(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& extraEnvironment,
                               const std::filesystem::path& workingFolder,
                               const std::vector<std::string>& removedEnvironment,
                               ProgramInput input)
    : outputFile_(uniqueFile("vireon-out")), errorFile_(uniqueFile("vireon-err")) {
    // Everything the child needs is prepared before fork: the child only calls exec-safe
    // functions.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool keep = true;
        for (const std::string& removed : removedEnvironment) {
            keep = keep && name != removed;
        }
        for (const std::string& extra : extraEnvironment) {
            keep = keep && name != extra.substr(0, extra.find('='));
        }
        if (keep) {
            environment.push_back(text);
        }
    }
    // Of two additions with one name, the later wins, so a caller can lay one set over another.
    for (std::size_t i = 0; i < extraEnvironment.size(); ++i) {
        const std::string& extra = extraEnvironment[i];
        const std::string prefix = extra.substr(0, extra.find('=') + 1);
        bool overridden = false;
        for (std::size_t later = i + 1; later < extraEnvironment.size(); ++later) {
            overridden = overridden || extraEnvironment[later].starts_with(prefix);
        }
        if (!overridden) {
            environment.push_back(extra);
        }
    }
    std::vector<char*> argv, envp;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const int out = ::open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int in = -1;
    if (input == ProgramInput::HeldOpen) {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            throw std::runtime_error("Could not create a pipe for " + arguments.front());
        }
        in = pipeEnds[0];
        inputWriteEnd_ = pipeEnds[1];
    } else {
        in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("Could not start " + arguments.front());
    }
    if (pid_ == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (::chdir(workingFolder.c_str()) != 0) {
            ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    ::close(in);
}

RunningProgram::~RunningProgram() {
    closeInput();
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove(outputFile_, ignored);
    std::filesystem::remove(errorFile_, ignored);
}

void RunningProgram::closeInput() {
    if (inputWriteEnd_ >= 0) {
        ::close(inputWriteEnd_);
        inputWriteEnd_ = -1;
    }
}

bool RunningProgram::running() {
    if (reaped_) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        exited_ = WIFEXITED(status);
        status_ = exited_ ? WEXITSTATUS(status) : 0;
        signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return false;
    }
    return true;
}

std::optional<int> RunningProgram::waitForExit(std::chrono::milliseconds timeout) {
    testsupport::waitUntil([&] { return !running(); }, timeout);
    if (!reaped_ || !exited_) {
        return std::nullopt;
    }
    return status_;
}

std::string RunningProgram::errorOutput() const {
    // A program that crashed says nothing itself; the failure message should.
    const std::string ending =
        signal_ != 0 ? "[ended by signal " + std::to_string(signal_) + "]\n" : "";
    return slurp(errorFile_) + ending;
}
std::string RunningProgram::standardOutput() const {
    return slurp(outputFile_);
}

std::chrono::milliseconds RunningProgram::processorTime() const {
    if (reaped_) {
        return std::chrono::milliseconds(0);
    }
    // Fields 14 and 15 of /proc/PID/stat, in clock ticks; the command name before them may
    // hold spaces, so counting starts after its closing parenthesis.
    const std::string stat = slurp("/proc/" + std::to_string(pid_) + "/stat");
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos) {
        return std::chrono::milliseconds(0);
    }
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) {
            user = std::stoull(field);
        } else if (number == 15) {
            system = std::stoull(field);
        }
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    return std::chrono::milliseconds((user + system) * 1000 /
                                     static_cast<unsigned long long>(ticksPerSecond));
}

std::optional<std::string> runCommand(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& extraEnvironment,
                                      std::chrono::milliseconds timeout) {
    RunningProgram program(arguments, extraEnvironment, std::filesystem::current_path());
    const std::optional<int> status = program.waitForExit(timeout);
    if (status != 0) {
        return std::nullopt;
    }
    return program.standardOutput();
}

VirtualDisplay::VirtualDisplay() {
    // Xvfb picks a free display itself and writes its number to the given descriptor.
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        throw std::runtime_error("Could not create a pipe for Xvfb.");
    }
    ::fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    const std::string xvfb = "/usr/bin/Xvfb";
    server_.emplace(std::vector<std::string>{xvfb, "-displayfd", std::to_string(pipeEnds[1]),
                                             "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                    std::vector<std::string>{}, std::filesystem::temp_directory_path());
    ::close(pipeEnds[1]);
    std::string number;
    pollfd waiting{pipeEnds[0], POLLIN, 0};
    while (::poll(&waiting, 1, 10000) > 0) {
        char c;
        if (::read(pipeEnds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    ::close(pipeEnds[0]);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start: " + server_->errorOutput());
    }
    display_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
    if (server_ && server_->running()) {
        ::kill(server_->pid(), SIGTERM);
        server_->waitForExit(std::chrono::seconds(5));
    }
}

}  // namespace vireon::testsupport
