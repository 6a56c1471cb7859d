// The guard is a named page-file-backed mapping holding the first copy's
// process id. A later copy lets that process take the foreground and signals
// its named event; the first copy's listener thread answers the event.
#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/instanceguard.h"

namespace kb {

namespace {

struct GuardState {
    std::mutex m;
    HANDLE mapping = nullptr;
    HANDLE request = nullptr;
    HANDLE stop = nullptr;
    std::thread listener;
    std::mutex callbackMutex;
    ComeForwardCallback callback;
    ~GuardState() { Release(); }
    void Release() {
        if (listener.joinable()) {
            SetEvent(stop);
            listener.join();
        }
        for (HANDLE* h : {&request, &stop, &mapping})
            if (*h) CloseHandle(*h), *h = nullptr;
    }
};

GuardState& State() {
    static GuardState s;
    return s;
}

void Listen(HANDLE request, HANDLE stop) {
    const HANDLE handles[2] = {request, stop};
    while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
        // Under the lock: once the callback is replaced, the old one is done.
        std::lock_guard lock(State().callbackMutex);
        if (State().callback) State().callback();
    }
}

}  // namespace

bool CheckAppAlreadyRunning(const std::string& name, bool activate, bool closeAfter) {
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    if (!mapping) throw std::runtime_error("CheckAppAlreadyRunning: can't create file mapping");
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    auto* view = static_cast<DWORD*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (!view) {
        CloseHandle(mapping);
        throw std::runtime_error("CheckAppAlreadyRunning: can't create map view of file.");
    }
    const std::string eventName = name + ".forward";
    // The block: the holder's process id, then 1 when it runs headless.
    if (!existed) {
        view[0] = GetCurrentProcessId();
        view[1] = 0;
    } else if (activate && view[0] != 0 && view[1] == 0) {
        AllowSetForegroundWindow(view[0]);
        if (HANDLE ev = OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName.c_str())) {
            SetEvent(ev);
            CloseHandle(ev);
        }
    }
    UnmapViewOfFile(view);
    if (existed || closeAfter) {
        CloseHandle(mapping);
        return existed;
    }
    GuardState& s = State();
    std::lock_guard lock(s.m);
    s.mapping = mapping;
    s.request = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
    s.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (s.request && s.stop) s.listener = std::thread(Listen, s.request, s.stop);
    return false;
}

void MarkGuardHeadless() {
    std::lock_guard lock(State().m);
    if (!State().mapping) return;
    if (auto* view = static_cast<DWORD*>(MapViewOfFile(State().mapping, FILE_MAP_WRITE, 0, 0, 0))) {
        view[1] = 1;
        UnmapViewOfFile(view);
    }
}

GuardHolder ReadGuardHolder(const std::string& name) {
    GuardHolder h;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (!mapping) return h;
    if (auto* view = static_cast<const DWORD*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
        h.pid = static_cast<long>(view[0]);
        h.headless = view[1] != 0;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return h;
}

void SetComeForwardCallback(ComeForwardCallback callback) {
    std::lock_guard lock(State().callbackMutex);
    State().callback = std::move(callback);
}

void ReleaseInstanceGuard() {
    std::lock_guard lock(State().m);
    State().Release();
}

}  // namespace kb
