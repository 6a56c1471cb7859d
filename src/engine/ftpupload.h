// The FTP action's transfer: one file of a rule, sent with the action's
// parameters through the platform's FTP client.
#pragma once

#include <cstdint>
#include <string>

#include "engine/scanpass.h"
#include "platform/ftpclient.h"
#include "platform/secrets.h"
#include "store/model.h"

namespace kb {

// The request an FTP action makes for the remote file `remoteName`.
FtpRequest FtpRequestFor(const racftp& p, const std::string& remoteName);

// Where the action's password is kept in the secret store.
SecretKey UploadSecretKey(const racftp& p);

// Uploads `localPath` (a regular file) as `remoteName` into the action's
// remote directory, replacing a remote file of that name and creating a
// missing remote directory. A password kept in the secret store is read
// from there. In ASCII mode the transfer runs in text type.
// `bytesSent`, when given, receives the byte count that went over the data
// connection.
Status FtpUpload(const racftp& p, const std::string& localPath, const std::string& remoteName,
                 const FtpTimeouts& timeouts = {}, std::int64_t* bytesSent = nullptr);

// An uploader for ScanEnvironment with the given time-outs.
FtpUploader MakeFtpUploader(FtpTimeouts timeouts = {});

}  // namespace kb
