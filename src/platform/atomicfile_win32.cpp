#include <sddl.h>
#include <windows.h>

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

}  // namespace

void InjectAtomicWriteFaultForTests(long long afterBytes) { gFaultAfter = afterBytes; }

int WriteFileAtomically(const std::string& path, const std::string& bytes, bool ownerOnly) {
    const std::wstring target = Wide(path);
    const std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(GetTickCount64()) + L".tmp";

    // Owner-only: a protected DACL granting full access to the owner alone.
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ownerOnly && ConvertStringSecurityDescriptorToSecurityDescriptorW(
                         L"D:P(A;;FA;;;OW)", SDDL_REVISION_1, &sd, nullptr))
        sa.lpSecurityDescriptor = sd;
    const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, ownerOnly ? &sa : nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sd) LocalFree(sd);
    if (h == INVALID_HANDLE_VALUE) return -2;

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
        DeleteFileW(temp.c_str());
        return -2;
    }
    return 0;
}

}  // namespace kb
