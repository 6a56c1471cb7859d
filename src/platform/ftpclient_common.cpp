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

struct Scheme {
    FtpSecurity security;
    std::string_view prefix;
};
constexpr Scheme kSchemes[] = {{FtpSecurity::Plain, "ftp://"},
                               {FtpSecurity::ExplicitTls, "ftpes://"},
                               {FtpSecurity::ImplicitTls, "ftps://"},
                               {FtpSecurity::Sftp, "sftp://"}};

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    }
    return true;
}

// The server field without its scheme.
std::string_view Bare(std::string_view server) {
    for (const Scheme& s : kSchemes)
        if (StartsWithNoCase(server, s.prefix)) return server.substr(s.prefix.size());
    return server;
}

}  // namespace

FtpSecurity SecurityOf(std::string_view server) {
    for (const Scheme& s : kSchemes)
        if (StartsWithNoCase(server, s.prefix)) return s.security;
    return FtpSecurity::Plain;
}

std::int32_t DefaultPort(FtpSecurity security) {
    switch (security) {
        case FtpSecurity::ImplicitTls:
            return 990;
        case FtpSecurity::Sftp:
            return 22;
        default:
            return 21;
    }
}

std::string WithSecurity(std::string_view server, FtpSecurity security) {
    std::string out;
    for (const Scheme& s : kSchemes)
        if (s.security == security && security != FtpSecurity::Plain) out = s.prefix;
    return out + std::string(Bare(server));
}

std::string FtpHost(std::string_view host) {
    host = Bare(host);
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

bool IsUsableServer(std::string_view server) {
    std::string_view bare = Bare(server);
    if (bare.find("://") != std::string_view::npos) return false;  // a scheme we do not speak
    return !FtpHost(server).empty();
}

std::string FtpUrl(const FtpRequest& r) {
    if (!IsUsableServer(r.server)) return "";
    std::string host = FtpHost(r.server);
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    const FtpSecurity security = SecurityOf(r.server);
    const std::int32_t port = r.port == 0 ? DefaultPort(security) : r.port;
    if (port < 1 || port > 65535) return "";
    if (!IsSafeRemoteName(r.remoteName) || HasControlBreak(r.directory)) return "";

    // Explicit TLS is FTP's own URL; libcurl is told to ask for TLS.
    const char* scheme = security == FtpSecurity::Sftp          ? "sftp://"
                         : security == FtpSecurity::ImplicitTls ? "ftps://"
                                                                : "ftp://";
    std::string url = scheme + host + ":" + std::to_string(port) + "/";
    if (security == FtpSecurity::Sftp) {
        // SFTP paths are the server's own: "/~/" is the login directory.
        if (!r.directory.starts_with("/")) url += "~/";
    } else if (r.directory.starts_with("/")) {
        url += "%2F/";  // "%2F" as the first part makes the client change to the root first
    }
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
    if (const std::size_t root = url.find("/%2F/"); root != std::string::npos) url.erase(root, 4);
    // The scheme the user wrote, "ftpes://" included.
    const FtpSecurity security = SecurityOf(r.server);
    if (security == FtpSecurity::ExplicitTls) url.replace(0, 3, "ftpes");
    if (r.user.empty()) return url;
    return url.insert(url.find("://") + 3, PercentEncode(r.user) + "@");
}

}  // namespace kb
