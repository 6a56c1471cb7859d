#include "engine/ftpupload.h"

#include "platform/secrets.h"

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
    r.keyFile = p.keyFile;
    r.pinnedKey = p.pinnedKey;
    return r;
}

SecretKey UploadSecretKey(const racftp& p) {
    return {FtpHost(p.ftpserver), p.ftpport == 0 ? DefaultPort(SecurityOf(p.ftpserver)) : p.ftpport,
            p.ftpuser};
}

Status FtpUpload(const racftp& p, const std::string& localPath, const std::string& remoteName,
                 const FtpTimeouts& timeouts, std::int64_t* bytesSent) {
    FtpRequest r = FtpRequestFor(p, remoteName);
    if (p.passwordInKeyring) {
        std::string why;
        const std::optional<std::string> password = LookupSecret(UploadSecretKey(p), &why);
        if (!password)
            return Status::Failure("the password could not be read from the secret store (" + why +
                                   ")");
        r.password = *password;
    }
    return FtpSendFile(r, localPath, timeouts, bytesSent);
}

FtpUploader MakeFtpUploader(FtpTimeouts timeouts) {
    return
        [timeouts](const racftp& p, const std::string& localPath, const std::string& remoteName) {
            return FtpUpload(p, localPath, remoteName, timeouts);
        };
}

}  // namespace kb
