#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/mail.h"

namespace kb {

namespace {

struct Reader {
    const std::string* text;
    std::size_t at = 0;
};

std::size_t ReadMore(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* r = static_cast<Reader*>(data);
    const std::size_t n = std::min(size * count, r->text->size() - r->at);
    std::copy_n(r->text->data() + r->at, n, buffer);
    r->at += n;
    return n;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

Status SendMail(const MailMessage& m) {
    const std::string url = MailServerUrl(m.server);
    if (url.empty()) return Status::Failure("the SMTP server is not a server name");
    if (m.from.empty() || m.to.empty()) return Status::Failure("no address to send to");
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Status::Failure("cannot start an SMTP session");
    CURL* c = curl.get();
    char errbuf[CURL_ERROR_SIZE] = {};
    const std::string text = FormatMail(m, static_cast<long long>(std::time(nullptr)));
    Reader reader{&text};
    const std::string from = "<" + m.from + ">";
    std::unique_ptr<curl_slist, SlistDeleter> rcpt(
        curl_slist_append(nullptr, ("<" + m.to + ">").c_str()));
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadMore);
    curl_easy_setopt(c, CURLOPT_READDATA, &reader);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(text.size()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, m.timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, std::min(m.timeoutMs, 15000L));
    // STARTTLS whenever the server offers it; required once a password
    // would go over the connection.
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     static_cast<long>(m.user.empty() ? CURLUSESSL_TRY : CURLUSESSL_ALL));
    if (!m.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, m.caFile.c_str());
    if (!m.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, m.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, m.password.c_str());
    }
    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK) return Status::Success();
    long reply = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply);
    std::string why = errbuf[0] ? errbuf : curl_easy_strerror(rc);
    if (rc == CURLE_LOGIN_DENIED) why = "the server refused the user name or password";
    if (rc == CURLE_USE_SSL_FAILED) why = "the server offers no TLS, and a password needs it";
    if (reply >= 400) why += " (the server answered " + std::to_string(reply) + ")";
    return Status::Failure(why);
}

}  // namespace kb
