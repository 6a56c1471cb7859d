#include <windows.h>

#include "platform/fileops.h"

namespace kb {

namespace {

bool FailLast(std::string* error, const char* what) {
    if (error) *error = std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
    return false;
}

bool Fail(std::string* error, const char* what) {
    if (error) *error = what;
    return false;
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

bool FileCopy(const std::string& src, const std::string& dst, bool durable, std::string* error) {
    if (IsDirectory(src)) return Fail(error, "source is not a regular file");
    if (IsDirectory(dst)) return Fail(error, "target is a directory");
    const auto slash = dst.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? "." : dst.substr(0, slash);
    char tmp[MAX_PATH];
    if (!GetTempFileNameA(dir.c_str(), "kbx", 0, tmp)) return FailLast(error, "cannot create file");
    if (!CopyFileA(src.c_str(), tmp, FALSE)) {
        DeleteFileA(tmp);
        return FailLast(error, "copy failed");
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!MoveFileExA(tmp, dst.c_str(), flags)) {
        DeleteFileA(tmp);
        return FailLast(error, "cannot replace target");
    }
    return true;
}

bool FileMove(const std::string& src, const std::string& dst, std::string* error) {
    if (IsDirectory(src)) return Fail(error, "source is a directory");
    if (IsDirectory(dst)) return Fail(error, "target is a directory");
    // Across volumes the system copies first and removes the source only
    // after the copy succeeded.
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExA(src.c_str(), dst.c_str(), flags)) return FailLast(error, "cannot move");
    return true;
}

bool FileDelete(const std::string& path, std::string* error) {
    if (!DeleteFileA(path.c_str())) return FailLast(error, "cannot delete");
    return true;
}

}  // namespace kb
