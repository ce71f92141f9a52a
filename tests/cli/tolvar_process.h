// The tolvar program (or another) as a child process, its output streams in unlinked
// temporary files that can be read while it runs and after it ends.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace cli::testing {

struct sTolvarChild {
    pid_t pid = -1;
    int out = -1;  // its standard output, from offset 0
    int err = -1;  // its error output, from offset 0
};

// Starts the program (a path) with the arguments, in folder when one is
// given, reading the file input when one is given.
inline sTolvarChild StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                                 const std::string& folder = {}, const std::string& input = {})
{
    char outName[] = "/tmp/tolvar-out-XXXXXX";
    char errName[] = "/tmp/tolvar-err-XXXXXX";
    sTolvarChild child;
    child.out = mkstemp(outName);
    child.err = mkstemp(errName);
    unlink(outName);
    unlink(errName);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    child.pid = fork();
    if (child.pid == 0) {
        dup2(child.out, STDOUT_FILENO);
        dup2(child.err, STDERR_FILENO);
        if (!input.empty()) {
            const int in = open(input.c_str(), O_RDONLY);
            if (in < 0 || dup2(in, STDIN_FILENO) < 0)
                _exit(125);
        }
        if (!folder.empty() && chdir(folder.c_str()) != 0)
            _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

// Starts the built tolvar with the arguments, in folder when one is given.
inline sTolvarChild StartTolvar(const std::vector<std::string>& arguments, const std::string& folder = {})
{
    return StartProgram(TOLVAR_COMMAND, arguments, folder);
}

// Everything written to the file at fd, which is closed.
inline std::string TakeFile(int fd)
{
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    close(fd);
    return text;
}

// The exit status of a child that waitpid reported as status; -1 when it did
// not exit (a signal ended it).
inline int ExitStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct sTolvarRun {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out;
    std::string err;
};

// Runs tolvar to its end.
inline sTolvarRun RunTolvar(const std::vector<std::string>& arguments, const std::string& folder = {})
{
    const sTolvarChild child = StartTolvar(arguments, folder);
    int status = 0;
    waitpid(child.pid, &status, 0);
    return {ExitStatus(status), TakeFile(child.out), TakeFile(child.err)};
}

}  // namespace cli::testing
