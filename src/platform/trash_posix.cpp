#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/errortext.h"
#include "platform/fileops.h"
#include "platform/trash.h"

namespace kb {

namespace {

std::string Dirname(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Basename(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::optional<dev_t> DeviceOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return st.st_dev;
}

// The top of the mount that holds `dir`: the last ancestor on the same device.
std::string MountTop(std::string dir, dev_t dev) {
    while (dir != "/") {
        const std::string parent = Dirname(dir);
        const std::optional<dev_t> d = DeviceOf(parent);
        if (!d || *d != dev) break;
        dir = parent;
    }
    return dir;
}

// A trash directory and how its .trashinfo files name the original: the
// home trash by absolute path, a volume's trash relative to its top.
struct TrashDir {
    std::string dir;
    std::string prefix;  // what the Path= value is relative to; "" for absolute
};

// Where the file at `path` (on device `dev`) was put: the home trash when it
// lives on home's file system, otherwise its volume's.
std::vector<TrashDir> CandidateTrashes(const std::string& path, dev_t dev) {
    // GIO's own idea of the data folder (it reads the environment once).
    const std::string data = g_get_user_data_dir();
    const std::string home = data + "/Trash";
    const std::optional<dev_t> homeDev = DeviceOf(data);
    if (homeDev && *homeDev == dev) return {{home, ""}};
    const std::string top = MountTop(Dirname(path), dev);
    const std::string uid = std::to_string(::getuid());
    const std::string base = top == "/" ? "" : top;
    return {{base + "/.Trash/" + uid, top}, {base + "/.Trash-" + uid, top}, {home, ""}};
}

// GIO names the n-th file of the same name "name.n.ext".
std::string TrashName(const std::string& basename, int n) {
    if (n == 1) return basename;
    const auto dot = basename.find('.');
    if (dot == std::string::npos) return basename + "." + std::to_string(n);
    return basename.substr(0, dot) + "." + std::to_string(n) + basename.substr(dot);
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const std::string hex = s.substr(i + 1, 2);
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += static_cast<char>(v);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The original path a .trashinfo file names, or "" when it is not one.
std::string InfoPath(const std::string& infoFile) {
    std::ifstream in(infoFile);
    std::string line;
    bool section = false;
    while (std::getline(in, line)) {
        if (line == "[Trash Info]") section = true;
        if (section && line.rfind("Path=", 0) == 0) return Unescape(line.substr(5));
    }
    return {};
}

std::string Relative(const std::string& path, const std::string& prefix) {
    if (prefix.empty() || prefix == "/") return prefix.empty() ? path : path.substr(1);
    return path.rfind(prefix + "/", 0) == 0 ? path.substr(prefix.size() + 1) : path;
}

// The entry GIO just made for `path`: among the same-named entries whose
// .trashinfo names it, the one written last.
std::string FindTrashed(const std::string& path, dev_t dev) {
    const std::string base = Basename(path);
    for (const TrashDir& t : CandidateTrashes(path, dev)) {
        std::string best;
        timespec bestTime{0, 0};
        for (int n = 1; n < 100000; ++n) {
            const std::string name = TrashName(base, n);
            const std::string info = t.dir + "/info/" + name + ".trashinfo";
            struct stat st;
            if (::stat(info.c_str(), &st) != 0) break;
            if (InfoPath(info) != Relative(path, t.prefix)) continue;
            const timespec m = st.st_mtim;
            if (best.empty() || m.tv_sec > bestTime.tv_sec ||
                (m.tv_sec == bestTime.tv_sec && m.tv_nsec >= bestTime.tv_nsec)) {
                best = t.dir + "/files/" + name;
                bestTime = m;
            }
        }
        if (!best.empty()) return best;
    }
    return {};
}

struct ObjectUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};

}  // namespace

TrashResult MoveToTrash(const std::string& path, bool folders) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return Status::Failure(std::string("cannot move to the Trash: ") + ErrorText(errno));
    if (S_ISDIR(st.st_mode) && !folders) return Status::Failure("is a directory");
    std::unique_ptr<GFile, ObjectUnref> file(g_file_new_for_path(path.c_str()));
    GError* error = nullptr;
    if (!g_file_trash(file.get(), nullptr, &error)) {
        Status failed = Status::Failure(std::string("not moved to the Trash: ") +
                                        (error ? error->message : "unknown error"));
        if (error) g_error_free(error);
        return failed;
    }
    return TrashResult(Status::Success(), FindTrashed(path, st.st_dev));
}

Status RestoreFromTrash(const std::string& location, const std::string& original) {
    struct stat st;
    if (location.empty() || ::lstat(location.c_str(), &st) != 0)
        return Status::Failure("it is no longer in the Trash");
    struct stat there;
    if (::lstat(original.c_str(), &there) == 0)
        return Status::Failure("something else now stands at " + original);
    // A rename keeps what was trashed as it was (a link stays a link); only
    // the home trash of another file system needs the copy.
    if (::rename(location.c_str(), original.c_str()) != 0) {
        if (errno != EXDEV)
            return Status::Failure(std::string("cannot restore: ") + ErrorText(errno));
        const FileOpResult moved =
            S_ISDIR(st.st_mode) ? FolderMove(location, original) : FileMove(location, original);
        if (!moved) return Status::Failure(moved.error);
    }
    // The trash's own record of the file goes too, so the desktop's trash
    // does not list what is no longer there.
    const std::string files = Dirname(location);
    const std::string info = Dirname(files) + "/info/" + Basename(location) + ".trashinfo";
    ::unlink(info.c_str());
    return Status::Success();
}

}  // namespace kb
