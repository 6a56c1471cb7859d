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
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status::Failure("cannot move to the Recycle Bin: no such file");
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !folders)
        return Status::Failure("is a directory");
    // The list of names ends with an empty one.
    std::wstring from = Wide(path);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    const int rc = SHFileOperationW(&op);
    if (rc != 0 || op.fAnyOperationsAborted)
        return Status::Failure("not moved to the Recycle Bin (error " + std::to_string(rc) + ")");
    return Status::Success();
}

Status RestoreFromTrash(const std::string& location, const std::string&) {
    if (location.empty())
        return Status::Failure("restore it from the Recycle Bin: Windows does not say where it is");
    return Status::Failure("restore it from the Recycle Bin");
}

}  // namespace kb
