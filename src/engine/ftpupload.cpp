#include "engine/ftpupload.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

namespace kb {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// libcurl decodes %xx in the path, so every other byte is encoded: a raw
// space would be refused, a raw "#" or "?" would cut the name short.
std::string PercentEncode(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() * 3);
    for (unsigned char c : s) {
        if (IsUnreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool HasControlBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

// A host name or address that cannot change the URL's meaning.
bool HostPart(std::string_view host, std::string& out) {
    if (host.starts_with("ftp://")) host.remove_prefix(6);
    while (host.ends_with("/")) host.remove_suffix(1);
    if (host.empty()) return false;
    if (host.find(':') != std::string_view::npos) {  // an IPv6 address
        if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        for (char c : host) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        }
        out = "[" + std::string(host) + "]";
        return true;
    }
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            return false;
        }
    }
    out = host;
    return true;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

OpStatus Failure(std::string why) { return OpStatus{false, std::move(why)}; }

}  // namespace

bool IsSafeRemoteName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && !HasControlBreak(name);
}

std::string FtpUrl(const racftp& p, const std::string& remoteName) {
    std::string host;
    if (!HostPart(p.ftpserver, host)) return "";
    const std::int32_t port = p.ftpport == 0 ? 21 : p.ftpport;
    if (port < 1 || port > 65535) return "";
    if (!IsSafeRemoteName(remoteName) || HasControlBreak(p.ftppath)) return "";

    std::string url = "ftp://" + host + ":" + std::to_string(port) + "/";
    // "%2F" as the first part makes libcurl change to the root first.
    if (p.ftppath.starts_with("/")) url += "%2F/";
    std::string_view rest = p.ftppath;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) url += PercentEncode(part) + "/";
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return url + PercentEncode(remoteName);
}

OpStatus FtpUpload(const racftp& p, const std::string& localPath, const std::string& remoteName,
                   const FtpTimeouts& timeouts, std::int64_t* bytesSent) {
    if (bytesSent) *bytesSent = 0;
    const std::string url = FtpUrl(p, remoteName);
    if (url.empty()) {
        return Failure(IsSafeRemoteName(remoteName) ? "invalid server, port or remote directory"
                                                    : "file name cannot be sent by FTP");
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(localPath, ec)) return Failure("not a regular file");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
    if (!file) return Failure("cannot open the file");
    const auto size = std::filesystem::file_size(localPath, ec);

    GlobalInit();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Failure("cannot start an FTP session");
    CURL* c = curl.get();
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // the pass may run off the main thread
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READDATA, file.get());
    if (!ec) curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    if (!p.ftpuser.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, p.ftpuser.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, p.ftppass.c_str());
    }
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, p.ftpascmode ? 1L : 0L);
    // Active mode: the server connects back to the address of the control connection.
    curl_easy_setopt(c, CURLOPT_FTPPORT, p.ftppassive ? nullptr : "-");
    curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, (timeouts.responseMs + 999) / 1000);
    curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, timeouts.responseMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, (timeouts.stallMs + 999) / 1000);

    const CURLcode rc = curl_easy_perform(c);
    curl_off_t sent = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_UPLOAD_T, &sent);
    if (bytesSent) *bytesSent = static_cast<std::int64_t>(sent);
    if (rc != CURLE_OK) return Failure(errbuf[0] ? errbuf : curl_easy_strerror(rc));
    return OpStatus{true, {}};
}

FtpUploader MakeFtpUploader(FtpTimeouts timeouts) {
    return
        [timeouts](const racftp& p, const std::string& localPath, const std::string& remoteName) {
            return FtpUpload(p, localPath, remoteName, timeouts);
        };
}

}  // namespace kb
