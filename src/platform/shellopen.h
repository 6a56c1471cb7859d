// Opening a document or a web address with the desktop's default handler.
#pragma once

#include <string>

namespace kb {

// Asks the desktop to open `target` (a path or URL). The target reaches the
// handler as one argument; no shell sees it. Returns 0 on success, -1 when no
// handler could be started or the handler reported failure. The caller shows
// the message.
int ShellOpen(const std::string& target);

// The opener program used by ShellOpen, run as `program target`. Empty (the
// default) uses xdg-open, falling back to "gio open". Tests point it at a
// script of their own.
void SetShellOpenProgram(const std::string& program);

}  // namespace kb
