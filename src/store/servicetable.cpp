#include "store/servicetable.h"

#include <algorithm>

namespace kb {

namespace {

struct BuiltIn {
    std::uint8_t id;
    const char* name;
    const char* mask;
    bool discovered;
};

// The six networks in their fixed order; pages of the main window address
// them by these positions.
constexpr BuiltIn kBuiltIn[] = {
    {sidKazaa, "Kazaa", "kazaa*;*.dat", true},
    {sidMorpheus, "Morpheus", "morpheus*;*.dat", true},
    {sidGrokster, "Grokster", "grokster*;*.dat", true},
    {sidAudioGalaxy, "AudioGalaxy", "*.txt;*.dat;*.tmp;*.dll;*.exe;*.dll;*.ico;*.", false},
    {sidBearShare, "BearShare", "bear*;*.dat", true},
    {sidLimeWire, "LimeWire", "limewire*", false},
};

}  // namespace

std::string ServiceName(const rServiceRules& rec) {
    if (rec.serviceid == sidOther) return rec.othername;
    for (const BuiltIn& b : kBuiltIn)
        if (b.id == rec.serviceid) return b.name;
    return "service " + std::to_string(rec.serviceid);
}

std::int32_t ServiceStore::CustomCount() const {
    return static_cast<std::int32_t>(
        std::count_if(ServiceTable.begin(), ServiceTable.end(),
                      [](const rServiceRules& s) { return s.serviceid == sidOther; }));
}

void ServiceStore::InitServiceTable(const ShareDirDiscovery& discover) {
    ServiceTable.clear();
    for (const BuiltIn& b : kBuiltIn) {
        rServiceRules rec;
        rec.serviceid = b.id;
        rec.excludefiles = b.mask;
        if (b.discovered && discover) rec.sharedir = discover(b.id);
        AssignUid(rec);
        ServiceTable.push_back(std::move(rec));
    }
}

int ServiceStore::FindNetwork(std::uint8_t serviceid) const {
    for (std::size_t i = 0; i < ServiceTable.size(); ++i)
        if (ServiceTable[i].serviceid == serviceid) return static_cast<int>(i);
    return -1;
}

int ServiceStore::FindAdditional(std::int32_t othernum) const {
    for (std::size_t i = 0; i < ServiceTable.size(); ++i)
        if (ServiceTable[i].serviceid == sidOther && ServiceTable[i].othernum == othernum)
            return static_cast<int>(i);
    return -1;
}

int ServiceStore::FindByUid(std::uint64_t uid) const {
    for (std::size_t i = 0; i < ServiceTable.size(); ++i)
        if (ServiceTable[i].uid == uid) return static_cast<int>(i);
    return -1;
}

int ServiceStore::AppendAdditional(const std::string& othername, const std::string& sharedir,
                                   const std::string& excludefiles) {
    rServiceRules rec;
    rec.serviceid = sidOther;
    rec.othername = othername;
    rec.sharedir = sharedir;
    rec.excludefiles = excludefiles;
    rec.othernum = CustomCount() + 1;
    AssignUid(rec);
    ServiceTable.push_back(std::move(rec));
    return ServiceCount() - 1;
}

void ServiceStore::InsertService(int index, rServiceRules rec) {
    const int at = std::clamp(index, 0, ServiceCount());
    ServiceTable.insert(ServiceTable.begin() + at, std::move(rec));
    std::int32_t n = 0;
    for (rServiceRules& r : ServiceTable)
        if (r.serviceid == sidOther) r.othernum = ++n;
}

bool ServiceStore::DeleteService(int index) {
    if (index < 0 || index >= ServiceCount()) return false;
    const bool wasOther = ServiceTable[index].serviceid == sidOther;
    ServiceTable.erase(ServiceTable.begin() + index);
    if (wasOther)
        for (std::size_t i = index; i < ServiceTable.size(); ++i)
            if (ServiceTable[i].serviceid == sidOther) --ServiceTable[i].othernum;
    return true;
}

}  // namespace kb
