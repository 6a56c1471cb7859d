// The log-on entry as a desktop autostart file. The Exec line carries the
// executable quoted by the Desktop Entry rules, so a path with blanks, quotes
// or "$" reaches the desktop as one argument and is never interpreted.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/atomicfile.h"
#include "platform/autostart.h"
#include "platform/errortext.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace kb {

namespace {

std::string EntryDir() { return ConfigHome() + "/autostart"; }

std::string EntryFile(const std::string& name) { return EntryDir() + "/" + name + ".desktop"; }

[[noreturn]] void ThrowErrno(int err) { throw RegistryError(ErrorText(err ? err : EIO)); }

// One argument of an Exec line: quoted when it holds a reserved character.
std::string ExecArgument(const std::string& arg) {
    static const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string::npos;
    if (quote) out.push_back('"');
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out.push_back('\\');
        if (c == '%') out.push_back('%');  // a lone % would start a field code
        out.push_back(c);
    }
    if (quote) out.push_back('"');
    return out;
}

// The escapes of a desktop file's string values.
std::string EscapeValue(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string UnescapeValue(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        switch (s[++i]) {
            case 's':
                out.push_back(' ');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case '\\':
                out.push_back('\\');
                break;
            default:
                out.push_back('\\'), out.push_back(s[i]);
        }
    }
    return out;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[4096];
    bool ok = true;
    while (true) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return ok;
}

}  // namespace

std::string AutoStartCommand(const std::string& executable) {
    return ExecArgument(executable) + " startup";
}

int ReadAutoStartEntry(const std::string& name, std::string& command) {
    std::string text;
    if (!ReadWholeFile(EntryFile(name), text)) return -1;
    bool inEntry = false;
    bool hidden = false;
    bool found = false;
    std::string exec;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        std::string value = line.substr(eq + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        if (key == "Exec") {
            exec = UnescapeValue(value);
            found = true;
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    // A hidden entry is one the desktop has been told to ignore.
    if (!found || hidden) return -1;
    command = exec;
    return 0;
}

void WriteAutoStartEntry(const std::string& name, const std::string& executable) {
    if (const int err = MakeDirectories(EntryDir())) ThrowErrno(err);
    const std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=" +
        EscapeValue(name) +
        "\n"
        "Comment=Applies your rules to the shared folders of file-sharing clients\n"
        "Exec=" +
        EscapeValue(AutoStartCommand(executable)) +
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    if (const Status st = WriteFileAtomically(EntryFile(name), text, false); !st)
        throw RegistryError(st.error);
}

void DeleteAutoStartEntry(const std::string& name) {
    if (unlink(EntryFile(name).c_str()) != 0 && errno != ENOENT) ThrowErrno(errno);
}

}  // namespace kb
