#include <curl/curl.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/ftpclient.h"

namespace kb {

namespace {

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

}  // namespace

Status FtpSendFile(const FtpRequest& r, const std::string& localPath, const FtpTimeouts& timeouts,
                   std::int64_t* bytesSent) {
    if (bytesSent) *bytesSent = 0;
    const std::string url = FtpUrl(r);
    if (url.empty()) {
        return Status::Failure(IsSafeRemoteName(r.remoteName)
                                   ? "invalid server, port or remote directory"
                                   : "file name cannot be sent by FTP");
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(localPath, ec))
        return Status::Failure("not a regular file");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
    if (!file) return Status::Failure("cannot open the file");
    const auto size = std::filesystem::file_size(localPath, ec);

    GlobalInit();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Status::Failure("cannot start an FTP session");
    CURL* c = curl.get();
    char errbuf[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // the pass may run off the main thread
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READDATA, file.get());
    if (!ec) curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    if (!r.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, r.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, r.password.c_str());
    }
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, r.ascii ? 1L : 0L);
    // Active mode: the server connects back to the address of the control connection.
    curl_easy_setopt(c, CURLOPT_FTPPORT, r.passive ? nullptr : "-");
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
    if (rc != CURLE_OK) return Status::Failure(errbuf[0] ? errbuf : curl_easy_strerror(rc));
    return Status::Success();
}

}  // namespace kb
