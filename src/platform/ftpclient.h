// The FTP client of the FTP action: one file sent with one STOR. libcurl on
// Linux, the system's WinINet on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace kb {

// Bounds on how long a dead or stalled server can hold the pass. With the
// defaults a server that never answers costs at most about 30 s per file.
struct FtpTimeouts {
    long connectMs = 15000;  // TCP connect to the server
    long responseMs =
        15000;             // waiting for any one server reply; the data connection in active mode
    long stallMs = 15000;  // a transfer making no progress at all
};

struct FtpRequest {
    std::string server;     // host name or address, optionally "ftp://"-prefixed
    std::int32_t port = 0;  // 0: 21
    std::string user;       // empty: anonymous
    std::string password;
    std::string directory;  // "/..." from the server's root, else from the login directory
    std::string remoteName;
    bool ascii = false;  // text type instead of binary
    bool passive = false;
};

// Whether `name` can be sent as a remote file name: not empty, "." or "..",
// and free of "/", NUL, CR and LF.
bool IsSafeRemoteName(std::string_view name);

// The host of a server field ("ftp://" and trailing "/" taken off, an IPv6
// address without its brackets); "" when it could change the meaning of a
// URL or a command.
std::string FtpHost(std::string_view host);

// The URL of the request's remote file, every path part percent-encoded;
// "" when the server, port, directory or name cannot be sent safely. A
// directory starting with "/" is reached from the server's root.
std::string FtpUrl(const FtpRequest& r);

// The URL with the user but without the password: where a file went, as the
// journal shows it ("ftp://user@host:21/dir/name"); "" as FtpUrl.
std::string FtpDisplayUrl(const FtpRequest& r);

// Uploads `localPath` (a regular file) as r.remoteName into r.directory,
// replacing a remote file of that name and creating missing directories.
// `bytesSent`, when given, receives what went over the data connection (on
// Windows, whose client does not count it: the file's size once sent).
Status FtpSendFile(const FtpRequest& r, const std::string& localPath,
                   const FtpTimeouts& timeouts = {}, std::int64_t* bytesSent = nullptr);

}  // namespace kb
