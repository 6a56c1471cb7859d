#include <windows.h>

#include <shellapi.h>

#include <string>

#include "platform/trash.h"

namespace kb {

namespace {

std::wstring Wide(const std::string& s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

}  // namespace

TrashResult MoveToTrash(const std::string& path, bool folders) {
    TrashResult r;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        r.error = "cannot move to the Recycle Bin: no such file";
        return r;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !folders) {
        r.error = "is a directory";
        return r;
    }
    // The list of names ends with an empty one.
    std::wstring from = Wide(path);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    const int rc = SHFileOperationW(&op);
    if (rc != 0 || op.fAnyOperationsAborted) {
        r.error = "not moved to the Recycle Bin (error " + std::to_string(rc) + ")";
        return r;
    }
    r.ok = true;
    return r;
}

Status RestoreFromTrash(const std::string& location, const std::string&) {
    if (location.empty())
        return Status::Failure("restore it from the Recycle Bin: Windows does not say where it is");
    return Status::Failure("restore it from the Recycle Bin");
}

}  // namespace kb
