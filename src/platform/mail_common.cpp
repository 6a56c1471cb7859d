#include <cctype>
#include <ctime>

#include "platform/mail.h"

namespace kb {

namespace {

std::string OneLine(std::string_view s) {
    std::string out;
    for (char c : s) out += (c == '\r' || c == '\n') ? ' ' : c;
    return out;
}

bool IsHostChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

}  // namespace

std::string MailServerUrl(std::string_view server) {
    std::string scheme = "smtp://";
    for (std::string_view s : {"smtp://", "smtps://"}) {
        if (server.starts_with(s)) {
            scheme = std::string(s);
            server.remove_prefix(s.size());
        }
    }
    while (server.ends_with("/")) server.remove_suffix(1);
    std::string_view host = server, port;
    if (const auto colon = server.rfind(':'); colon != std::string_view::npos) {
        host = server.substr(0, colon);
        port = server.substr(colon + 1);
        if (port.empty() || port.size() > 5) return "";
        for (char c : port)
            if (!std::isdigit(static_cast<unsigned char>(c))) return "";
    }
    if (host.empty()) return "";
    for (char c : host)
        if (!IsHostChar(c)) return "";
    if (port.empty()) port = scheme == "smtps://" ? "465" : "25";
    return scheme + std::string(host) + ":" + std::string(port);
}

std::string FormatMail(const MailMessage& m, long long unixSeconds) {
    char date[64] = {};
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    std::string out;
    out += "Date: " + std::string(date) + "\r\n";
    out += "From: Kestrelbox <" + OneLine(m.from) + ">\r\n";
    out += "To: <" + OneLine(m.to) + ">\r\n";
    out += "Subject: " + OneLine(m.subject) + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=utf-8\r\n";
    out += "Content-Transfer-Encoding: 8bit\r\n";
    out += "Auto-Submitted: auto-generated\r\n";
    out += "\r\n";
    for (char c : m.body) {
        if (c == '\r') continue;
        if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    if (!out.ends_with("\r\n")) out += "\r\n";
    return out;
}

}  // namespace kb
