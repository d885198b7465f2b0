#include "platform/process.h"

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <vector>

namespace platform {
namespace {

// The parameters arrive as one Windows command line; split them by the same rules so the
// child sees the arguments a Windows program would.
std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inQuotes = false, haveArgument = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            std::size_t run = 0;
            while (i < line.size() && line[i] == '\\') ++run, ++i;
            if (i < line.size() && line[i] == '"') {
                current.append(run / 2, '\\');
                if (run % 2)
                    current += '"';
                else
                    inQuotes = !inQuotes;
            } else {
                current.append(run, '\\');
                --i;
            }
            haveArgument = true;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            haveArgument = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArgument) arguments.push_back(current);
            current.clear();
            haveArgument = false;
        } else {
            current += c;
            haveArgument = true;
        }
    }
    if (haveArgument) arguments.push_back(current);
    return arguments;
}

}  // namespace

std::optional<unsigned long> runAndWait(WindowRef, const std::string& file, const std::string& parameters,
                                        const std::string& directory, int) {
    std::vector<std::string> arguments = splitCommandLine(parameters);
    arguments.insert(arguments.begin(), file);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (chdir(directory.c_str()) == 0) execv(file.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    if (WIFSIGNALED(status)) return 128ul + static_cast<unsigned long>(WTERMSIG(status));
    return static_cast<unsigned long>(WEXITSTATUS(status));
}

}  // namespace platform
