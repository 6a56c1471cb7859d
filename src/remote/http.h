// HTTP for the download clients' local interfaces: one request, a short
// timeout, never through a proxy (the clients are on this machine), no
// redirects followed, and an answer of bounded size.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kb {

struct HttpRequest {
    std::string url;
    std::string method = "GET";        // or "POST"
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    std::string user, password;  // HTTP basic authentication, when a user is given
    std::string cookie;          // "name=value"
    long timeoutMs = 1000;
};

struct HttpResponse {
    long status = 0;  // 0 when no answer came
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case; the last of each
    std::string error;                           // why no answer came
};

HttpResponse SendHttp(const HttpRequest& request);

}  // namespace kb
