// Keeps a second copy of the program from running. The first copy holds a
// per-user guard that the operating system releases when the process ends,
// however it ends; a later copy finds it held, asks the first copy to come
// forward, and ends.
#pragma once

#include <functional>
#include <string>

namespace kb {

// Returns true when another copy already holds the guard called `name`. With
// `activate` true it then asks that copy to come forward. When this copy gets
// the guard it keeps it (and listens for requests) unless `closeAfter` is
// true. Throws std::runtime_error with the text
// "CheckAppAlreadyRunning: can't create file mapping" when the guard cannot
// be created, and "CheckAppAlreadyRunning: can't create map view of file."
// when it cannot be taken.
bool CheckAppAlreadyRunning(const std::string& name, bool activate, bool closeAfter);

// What to do when a later copy asks this one to come forward. Called on the
// guard's own listener thread, never on the GUI thread: the receiver must
// marshal it (for instance with a queued invocation), and must not call
// SetComeForwardCallback itself. May be set before or after the guard is
// taken; an empty function ignores requests. Once this returns, the previous
// callback is neither running nor called again.
using ComeForwardCallback = std::function<void()>;
void SetComeForwardCallback(ComeForwardCallback callback);

// Releases the guard held by this process (no-op when none), stopping the
// listener; the next copy then starts normally. Runs at exit as well.
void ReleaseInstanceGuard();

// Who holds a guard, as it wrote itself down.
struct GuardHolder {
    long pid = 0;           // 0 when it cannot be told
    bool headless = false;  // runs without a window, so cannot come forward
};

// Marks the guard this process holds as held by a copy without a window:
// later copies say so instead of asking it to come forward.
void MarkGuardHeadless();

// The holder of the guard called `name`.
GuardHolder ReadGuardHolder(const std::string& name);

}  // namespace kb
