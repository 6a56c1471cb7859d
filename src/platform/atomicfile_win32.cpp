#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/atomicfile.h"

namespace kb {

namespace {

std::atomic<long long> gFaultAfter{-1};

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// "Protected, full access for this user only" as a security descriptor
// string. The user is named by SID: the "owner rights" alias is not
// understood everywhere, and where it is not, nobody (the user included)
// could delete or replace the file.
std::wstring OwnerOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    std::wstring descriptor;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        LPWSTR sid = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            descriptor = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return descriptor;
}

// The system's message for `code`.
Status SystemFailure(DWORD code) {
    char buf[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == '.')) --n;
    return Status::Failure(n ? std::string(buf, n) : "error " + std::to_string(code));
}

}  // namespace

void InjectAtomicWriteFaultForTests(long long afterBytes) { gFaultAfter = afterBytes; }

Status WriteFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly) {
    const std::wstring target = Wide(path);
    const std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(GetTickCount64()) + L".tmp";

    // Owner-only: a protected DACL granting full access to the owner alone.
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    const std::wstring descriptor = ownerOnly ? OwnerOnlyDescriptor() : std::wstring();
    if (!descriptor.empty() && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                   descriptor.c_str(), SDDL_REVISION_1, &sd, nullptr))
        sa.lpSecurityDescriptor = sd;
    const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, ownerOnly ? &sa : nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sd) LocalFree(sd);
    if (h == INVALID_HANDLE_VALUE) return SystemFailure(GetLastError());

    std::size_t limit = bytes.size();
    const long long fault = gFaultAfter.exchange(-1);
    if (fault >= 0 && static_cast<unsigned long long>(fault) < limit)
        limit = static_cast<std::size_t>(fault);
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < limit) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(limit - done, 1u << 30));
        ok = WriteFile(h, bytes.data() + done, chunk, &n, nullptr) != 0;
        done += n;
    }
    if (fault >= 0) ok = false;
    if (ok) ok = FlushFileBuffers(h) != 0;
    if (!CloseHandle(h)) ok = false;
    if (ok)
        ok = MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) {
        const DWORD code = fault >= 0 ? ERROR_DISK_FULL : GetLastError();
        DeleteFileW(temp.c_str());
        return SystemFailure(code);
    }
    return Status::Success();
}

}  // namespace kb
