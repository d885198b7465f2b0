#include "platform/process.h"

#include <windows.h>
// shellapi.h needs the types from windows.h.
#include <shellapi.h>

namespace platform {

std::optional<unsigned long> runAndWait(WindowRef owner, const std::string& file, const std::string& parameters,
                                        const std::string& directory, int showCommand) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_DOENVSUBST | SEE_MASK_NO_CONSOLE |
                 SEE_MASK_FLAG_LOG_USAGE;
    info.hwnd = static_cast<HWND>(owner);
    info.lpVerb = "open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.c_str();
    info.nShow = showCommand;
    // A failed launch is judged later by the missing output, not here.
    ShellExecuteExA(&info);
    if (!info.hProcess) return std::nullopt;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 0;
    const bool known = GetExitCodeProcess(info.hProcess, &exitCode) != FALSE;
    CloseHandle(info.hProcess);
    if (!known) return std::nullopt;
    return exitCode;
}

}  // namespace platform
