// Mail to the user: one message handed to an SMTP server. libcurl on Linux;
// not available in the Windows build.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace kb {

struct MailMessage {
    // "host", "host:port" or "smtp://host[:port]" (port 25 unless given,
    // STARTTLS when the server offers it), "smtps://host[:port]" (TLS from
    // the start, port 465).
    std::string server;
    std::string from;
    std::string to;
    std::string subject;
    std::string body;  // plain text, lines ended by "\n"
    // A login makes TLS a must: a password never goes over plain SMTP.
    std::string user;
    std::string password;
    // A file of certificates to trust instead of the system's store (a
    // server with its own certificate); "" trusts the system's.
    std::string caFile;
    long timeoutMs = 30000;
};

// The URL libcurl is given for the server field; "" when it is not a
// server name (anything that could change the URL).
std::string MailServerUrl(std::string_view server);

// The message as it goes over the wire: headers (From, To, Subject, Date,
// a UTF-8 plain-text body), CRLF line ends. Header fields lose any line
// break, so nothing typed can add a header.
std::string FormatMail(const MailMessage& m, long long unixSeconds);

Status SendMail(const MailMessage& m);

}  // namespace kb
