#include "engine/ftpupload.h"

namespace kb {

FtpRequest FtpRequestFor(const racftp& p, const std::string& remoteName) {
    FtpRequest r;
    r.server = p.ftpserver;
    r.port = p.ftpport;
    r.user = p.ftpuser;
    r.password = p.ftppass;
    r.directory = p.ftppath;
    r.remoteName = remoteName;
    r.ascii = p.ftpascmode;
    r.passive = p.ftppassive;
    return r;
}

Status FtpUpload(const racftp& p, const std::string& localPath, const std::string& remoteName,
                 const FtpTimeouts& timeouts, std::int64_t* bytesSent) {
    return FtpSendFile(FtpRequestFor(p, remoteName), localPath, timeouts, bytesSent);
}

FtpUploader MakeFtpUploader(FtpTimeouts timeouts) {
    return
        [timeouts](const racftp& p, const std::string& localPath, const std::string& remoteName) {
            return FtpUpload(p, localPath, remoteName, timeouts);
        };
}

}  // namespace kb
