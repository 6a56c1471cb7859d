#include <windows.h>

#include <shellapi.h>

#include "platform/process.h"

namespace kb {

namespace {

// Quotes one argument by the rules the C runtime uses to split a command line.
std::string QuoteArg(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++slashes;
        } else if (c == '"') {
            out.append(slashes + 1, '\\');
            slashes = 0;
        } else {
            slashes = 0;
        }
        out += c;
    }
    out.append(slashes, '\\');
    out += '"';
    return out;
}

std::string JoinArgs(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) {
        if (!line.empty()) line += ' ';
        line += QuoteArg(a);
    }
    return line;
}

}  // namespace

Status StartDetached(const std::string& path, const std::vector<std::string>& args) {
    return OpenProgramOrDocument(path, args);
}

Status OpenProgramOrDocument(const std::string& target, const std::vector<std::string>& args,
                             const std::string&) {
    const std::string params = JoinArgs(args);
    const auto r = reinterpret_cast<INT_PTR>(
        ShellExecuteA(GetDesktopWindow(), "open", target.c_str(),
                      params.empty() ? nullptr : params.c_str(), nullptr, SW_SHOWNORMAL));
    if (r <= 32)
        return Status::Failure("cannot open " + target + " (error " + std::to_string(r) + ")");
    return Status::Success();
}

bool ProcessIsAlive(long pid) {
    if (pid <= 0) return false;
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return alive;
}

long CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

}  // namespace kb
