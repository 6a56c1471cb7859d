#include "platform/mail.h"

namespace kb {

Status SendMail(const MailMessage&) {
    return Status::Failure("mail is not available in this build");
}

}  // namespace kb
