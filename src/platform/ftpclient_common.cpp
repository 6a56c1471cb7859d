#include <cctype>

#include "platform/ftpclient.h"

namespace kb {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The client decodes %xx in the path, so every other byte is encoded: a raw
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

}  // namespace

std::string FtpHost(std::string_view host) {
    if (host.starts_with("ftp://")) host.remove_prefix(6);
    while (host.ends_with("/")) host.remove_suffix(1);
    if (host.empty()) return "";
    if (host.find(':') != std::string_view::npos) {  // an IPv6 address
        if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        for (char c : host) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return "";
        }
        return std::string(host);
    }
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            return "";
        }
    }
    return std::string(host);
}

bool IsSafeRemoteName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && !HasControlBreak(name);
}

std::string FtpUrl(const FtpRequest& r) {
    std::string host = FtpHost(r.server);
    if (host.empty()) return "";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    const std::int32_t port = r.port == 0 ? 21 : r.port;
    if (port < 1 || port > 65535) return "";
    if (!IsSafeRemoteName(r.remoteName) || HasControlBreak(r.directory)) return "";

    std::string url = "ftp://" + host + ":" + std::to_string(port) + "/";
    // "%2F" as the first part makes the client change to the root first.
    if (r.directory.starts_with("/")) url += "%2F/";
    std::string_view rest = r.directory;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) url += PercentEncode(part) + "/";
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return url + PercentEncode(r.remoteName);
}

std::string FtpDisplayUrl(const FtpRequest& r) {
    std::string url = FtpUrl(r);
    if (url.empty()) return url;
    // People read the folder as the server names it: the "%2F" that sends
    // the client to the root first is for libcurl only.
    if (const std::size_t root = url.find("/%2F/", 6); root != std::string::npos)
        url.erase(root, 4);
    if (r.user.empty()) return url;
    return url.insert(6, PercentEncode(r.user) + "@");
}

}  // namespace kb
