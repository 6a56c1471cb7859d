#include "engine/downloadclients.h"

#include <exception>

#include "platform/fileops.h"
#include "store/clientconfig.h"

namespace kb {

namespace {

// The separator the system's paths join with, as the clients report them.
char Separator() {
    static const char sep = JoinPath("a", "b")[1];
    return sep;
}

bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == Separator();
}

}  // namespace

ClientDesk::ClientDesk(std::vector<Entry> entries) {
    for (Entry& e : entries) {
        e.folder = CleanFolderPath(e.folder);
        Slot s;
        s.entry = std::move(e);
        entries_.push_back(std::move(s));
    }
}

void ClientDesk::BeginPass() {
    for (Slot& s : entries_) {
        s.asked = false;
        s.answered = false;
        s.downloads.clear();
        s.byPath.clear();
    }
}

ClientDesk::Slot* ClientDesk::SlotFor(const std::string& folder) {
    const std::string clean = CleanFolderPath(folder);
    for (Slot& s : entries_)
        if (s.entry.folder == clean) return &s;
    return nullptr;
}

void ClientDesk::Ask(Slot& s) {
    if (s.asked) return;
    s.asked = true;
    Status st = Status::Failure("not asked");
    try {
        st = s.entry.client->List(s.downloads);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        st = Status::Failure(e.what());
    }
    s.answered = st.ok;
    if (st.ok) {
        for (std::size_t i = 0; i < s.downloads.size(); ++i) {
            ClientDownload& d = s.downloads[i];
            d.path = CleanFolderPath(d.path);
            s.byPath.emplace(d.path, i);
        }
        if (s.toldProblem) notices_.push_back(s.entry.client->Describe() + " answers again.");
        s.problem.clear();
        s.toldProblem = false;
        return;
    }
    s.downloads.clear();
    // Said once for as long as the reason stays the same.
    if (!s.toldProblem || st.error != s.problem) {
        notices_.push_back(s.entry.client->Describe() + " cannot be asked about downloads (" +
                           st.error + "): the file system decides until it answers.");
        s.toldProblem = true;
    }
    s.problem = st.error;
}

bool ClientDesk::Answers(const std::string& sharedir) {
    Slot* s = SlotFor(sharedir);
    if (!s) return false;
    Ask(*s);
    return s->answered;
}

std::optional<ClientDesk::Found> ClientDesk::About(const std::string& sharedir,
                                                   const std::string& name) {
    Slot* s = SlotFor(sharedir);
    if (!s) return std::nullopt;
    Ask(*s);
    if (!s->answered) return std::nullopt;
    const std::string path = JoinPath(s->entry.folder, name);
    const auto at = s->byPath.find(path);
    if (at == s->byPath.end()) {
        // A folder holding an unfinished download (aria2 names a torrent's
        // files, not its folder) is unfinished.
        for (const ClientDownload& d : s->downloads)
            if (!d.complete && Below(d.path, path)) return Found{s->entry.client, d, false};
        return std::nullopt;
    }
    const ClientDownload* exact = &s->downloads[at->second];
    const bool relocate =
        s->entry.relocate && exact->complete && exact->seeding && s->entry.client->CanRelocate();
    return Found{s->entry.client, *exact, relocate};
}

std::vector<std::string> ClientDesk::TakeNotices() { return std::exchange(notices_, {}); }

std::shared_ptr<DownloadClient> ClientDesk::ClientFor(const std::string& folder,
                                                      const std::string& kind) {
    Slot* s = SlotFor(folder);
    if (s && s->entry.client->Kind() == kind) return s->entry.client;
    for (Slot& other : entries_)
        if (other.entry.client->Kind() == kind) return other.entry.client;
    return nullptr;
}

std::string ClientMoveTag(const std::string& kind, const std::string& id) {
    return kind + ":" + id;
}

bool ParseClientMoveTag(const std::string& tag, std::string& kind, std::string& id) {
    const auto colon = tag.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == tag.size()) return false;
    kind = tag.substr(0, colon);
    id = tag.substr(colon + 1);
    return true;
}

}  // namespace kb
