#include "remote/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kb {

namespace {

// Answers are lists of downloads: large for a client with thousands, never
// this large.
constexpr std::size_t kMaxBody = 64 << 20;

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

std::size_t OnBody(char* data, std::size_t size, std::size_t n, void* user) {
    auto* out = static_cast<std::string*>(user);
    if (out->size() + size * n > kMaxBody) return 0;  // ends the transfer
    out->append(data, size * n);
    return size * n;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t n, void* user) {
    auto* headers = static_cast<std::map<std::string, std::string>*>(user);
    const std::string line(data, size * n);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        std::string value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t\r\n");
        (*headers)[name] = first == std::string::npos ? "" : value.substr(first, last - first + 1);
    }
    return size * n;
}

}  // namespace

HttpResponse SendHttp(const HttpRequest& r) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    HttpResponse out;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        out.error = "cannot start a request";
        return out;
    }
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // called from worker threads
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, r.timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, r.timeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &out.body);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &out.headers);
    if (r.method == "POST") {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, r.body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(r.body.size()));
    }
    if (!r.user.empty()) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(c, CURLOPT_USERNAME, r.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, r.password.c_str());
    }
    if (!r.cookie.empty()) curl_easy_setopt(c, CURLOPT_COOKIE, r.cookie.c_str());
    std::unique_ptr<curl_slist, ListDeleter> headers;
    for (const std::string& h : r.headers)
        headers.reset(curl_slist_append(headers.release(), h.c_str()));
    // No "Expect: 100-continue" wait on a POST.
    headers.reset(curl_slist_append(headers.release(), "Expect:"));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        out.error = rc == CURLE_OPERATION_TIMEDOUT
                        ? "no answer within " + std::to_string(r.timeoutMs) + " ms"
                        : curl_easy_strerror(rc);
        out.body.clear();
        return out;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &out.status);
    return out;
}

}  // namespace kb
