// The FTP action's transfer: one file, one STOR, through libcurl.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/scanpass.h"
#include "store/model.h"

namespace kb {

// Bounds on how long a dead or stalled server can hold the pass. With the
// defaults a server that never answers costs at most about 30 s per file.
struct FtpTimeouts {
    long connectMs = 15000;  // TCP connect to the server
    long responseMs =
        15000;             // waiting for any one server reply; the data connection in active mode
    long stallMs = 15000;  // a transfer making no progress at all
};

// Whether `name` can be sent as a remote file name: not empty, "." or "..",
// and free of "/", NUL, CR and LF.
bool IsSafeRemoteName(std::string_view name);

// The URL for `remoteName` in `p.ftppath` on `p.ftpserver`:`p.ftpport` (21
// when 0), every path part percent-encoded. A remote directory starting with
// "/" is taken from the server's root, otherwise from the login directory.
// "" when the server, port, directory or name cannot be sent safely.
std::string FtpUrl(const racftp& p, const std::string& remoteName);

// Uploads `localPath` (a regular file) as `remoteName`, replacing a remote
// file of that name and creating a missing remote directory. In ASCII mode
// the transfer runs in text type. `bytesSent`, when given, receives the byte
// count that went over the data connection.
OpStatus FtpUpload(const racftp& p, const std::string& localPath, const std::string& remoteName,
                   const FtpTimeouts& timeouts = {}, std::int64_t* bytesSent = nullptr);

// An uploader for ScanEnvironment with the given time-outs.
FtpUploader MakeFtpUploader(FtpTimeouts timeouts = {});

}  // namespace kb
