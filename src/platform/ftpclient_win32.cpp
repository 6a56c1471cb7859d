#include <windows.h>

#include <wininet.h>

#include <filesystem>
#include <string_view>

#include "platform/ftpclient.h"

namespace kb {

namespace {

struct Internet {
    HINTERNET h = nullptr;
    explicit Internet(HINTERNET x) : h(x) {}
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
    ~Internet() {
        if (h) InternetCloseHandle(h);
    }
};

// The server's own words when it refused, otherwise the system's message.
std::string LastError(const char* what) {
    const DWORD code = GetLastError();
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD detail = 0, size = 0;
        InternetGetLastResponseInfoA(&detail, nullptr, &size);
        std::string text(size + 1, '\0');
        if (InternetGetLastResponseInfoA(&detail, text.data(), &size)) {
            text.resize(size);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            return std::string(what) + ": " + text;
        }
    }
    char buf[512] = {};
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("wininet.dll"), code, 0, buf, sizeof buf, nullptr);
    std::string text(buf, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return std::string(what) + ": " + text;
}

void SetTimeout(HINTERNET h, DWORD option, long ms) {
    DWORD value = static_cast<DWORD>(ms);
    InternetSetOptionA(h, option, &value, sizeof value);
}

// Changes into `part`, creating it first when it is missing.
bool EnterDirectory(HINTERNET ftp, const std::string& part) {
    if (FtpSetCurrentDirectoryA(ftp, part.c_str())) return true;
    return FtpCreateDirectoryA(ftp, part.c_str()) && FtpSetCurrentDirectoryA(ftp, part.c_str());
}

}  // namespace

Status FtpSendFile(const FtpRequest& r, const std::string& localPath, const FtpTimeouts& timeouts,
                   std::int64_t* bytesSent) {
    if (bytesSent) *bytesSent = 0;
    // The same requests are refused as where the transfer goes by URL.
    if (FtpUrl(r).empty()) {
        return Status::Failure(IsSafeRemoteName(r.remoteName)
                                   ? "invalid server, port or remote directory"
                                   : "file name cannot be sent by FTP");
    }
    if (SecurityOf(r.server) != FtpSecurity::Plain)
        return Status::Failure("SFTP and FTP with TLS are not available in this build");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(localPath, ec))
        return Status::Failure("not a regular file");
    const auto size = std::filesystem::file_size(localPath, ec);

    Internet session(InternetOpenA("Kestrelbox", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.h) return Status::Failure(LastError("cannot start an FTP session"));
    SetTimeout(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.connectMs);
    SetTimeout(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.responseMs);
    SetTimeout(session.h, INTERNET_OPTION_SEND_TIMEOUT, timeouts.stallMs);
    SetTimeout(session.h, INTERNET_OPTION_DATA_SEND_TIMEOUT, timeouts.stallMs);
    SetTimeout(session.h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, timeouts.stallMs);

    const std::string host = FtpHost(r.server);
    const INTERNET_PORT port = static_cast<INTERNET_PORT>(r.port == 0 ? 21 : r.port);
    Internet ftp(InternetConnectA(session.h, host.c_str(), port,
                                  r.user.empty() ? nullptr : r.user.c_str(),
                                  r.user.empty() ? nullptr : r.password.c_str(),
                                  INTERNET_SERVICE_FTP, r.passive ? INTERNET_FLAG_PASSIVE : 0, 0));
    if (!ftp.h) return Status::Failure(LastError("cannot connect"));

    if (r.directory.starts_with("/") && !FtpSetCurrentDirectoryA(ftp.h, "/"))
        return Status::Failure(LastError("cannot change to the root directory"));
    std::string_view rest = r.directory;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string part(rest.substr(0, slash));
        if (!part.empty() && !EnterDirectory(ftp.h, part))
            return Status::Failure(LastError(("cannot enter " + part).c_str()));
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    const DWORD type = r.ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY;
    if (!FtpPutFileA(ftp.h, localPath.c_str(), r.remoteName.c_str(), type | INTERNET_FLAG_RELOAD,
                     0))
        return Status::Failure(LastError("upload failed"));
    if (bytesSent && !ec) *bytesSent = static_cast<std::int64_t>(size);
    return Status::Success();
}

Status FetchServerIdentity(const FtpRequest&, ServerIdentity& out, const FtpTimeouts&) {
    out = {};
    return Status::Failure("SFTP and FTP with TLS are not available in this build");
}

}  // namespace kb
