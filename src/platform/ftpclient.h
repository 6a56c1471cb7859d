// The FTP client of the FTP action: one file sent with one STOR, or over
// SFTP or FTP with TLS when the server field names one of those. libcurl on
// Linux, the system's WinINet on Windows (plain FTP only there).
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

// How the server is spoken to, from the scheme its field starts with: a bare
// host or "ftp://" is plain FTP; "ftpes://" asks for TLS on the control and
// data connections (AUTH TLS), "ftps://" speaks TLS from the first byte,
// "sftp://" is SSH's file transfer.
enum class FtpSecurity { Plain, ExplicitTls, ImplicitTls, Sftp };

FtpSecurity SecurityOf(std::string_view server);
// The port a scheme uses when none is given: 21, 990 or 22.
std::int32_t DefaultPort(FtpSecurity security);
// The server field with its scheme set to `security` (none for plain FTP).
std::string WithSecurity(std::string_view server, FtpSecurity security);

struct FtpRequest {
    std::string server;     // host name or address, optionally with a scheme (above)
    std::int32_t port = 0;  // 0: the scheme's own port
    std::string user;       // empty: anonymous
    std::string password;
    std::string directory;  // "/..." from the server's root, else from the login directory
    std::string remoteName;
    bool ascii = false;  // text type instead of binary
    bool passive = false;
    // SFTP: the private key to log in with ("" tries ~/.ssh/id_ed25519, then
    // ~/.ssh/id_rsa; a password is tried too when one is given) and the file
    // of trusted host keys ("" is ~/.ssh/known_hosts).
    std::string keyFile;
    std::string knownHosts;
    // FTP with TLS: the server's public key the user accepted
    // ("sha256//" and its base64 digest). Empty, the certificate must be
    // trusted by the system's store and name the host.
    std::string pinnedKey;
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

// Whether the server field names a host the client can reach: the scheme
// known, the host free of anything that could change the URL.
bool IsUsableServer(std::string_view server);

// The URL with the user but without the password: where a file went, as the
// journal shows it ("ftp://user@host:21/dir/name"); "" as FtpUrl.
std::string FtpDisplayUrl(const FtpRequest& r);

// Uploads `localPath` (a regular file) as r.remoteName into r.directory,
// replacing a remote file of that name and creating missing directories.
// Over SFTP and TLS the file is written as "<name>.part" and renamed when
// the server has all of it, so nobody there sees half a file under its name;
// an upload that sent fewer bytes than the file has is a failure.
// `bytesSent`, when given, receives what went over the data connection (on
// Windows, whose client does not count it: the file's size once sent).
Status FtpSendFile(const FtpRequest& r, const std::string& localPath,
                   const FtpTimeouts& timeouts = {}, std::int64_t* bytesSent = nullptr);

// What the server at `server`/`port` shows to prove who it is, fetched
// without logging in: for TLS the "sha256//..." pin of the certificate's
// public key (what FtpRequest::pinnedKey takes) and the certificate's
// subject; for SFTP the host key's line for known_hosts. The reason on
// failure.
struct ServerIdentity {
    std::string pin;             // TLS
    std::string subject;         // TLS: who the certificate says it is
    std::string knownHostsLine;  // SFTP
};
Status FetchServerIdentity(const FtpRequest& r, ServerIdentity& out,
                           const FtpTimeouts& timeouts = {});

}  // namespace kb
