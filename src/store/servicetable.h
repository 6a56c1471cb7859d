// The service table: every service in scan order, the built-in networks
// first. The table owns every service and rule; callers address a record by
// its position, found again after every change, never by a kept pointer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/model.h"

namespace kb {

// Returns the shared directory a network's client has recorded, or "" when
// none is known. Given the service id of one of the built-in networks.
using ShareDirDiscovery = std::function<std::string(std::uint8_t serviceid)>;

// A service's name as the window shows it: the network's, or an additional
// service's own.
std::string ServiceName(const rServiceRules& rec);

class ServiceStore {
public:
    std::vector<rServiceRules> ServiceTable;

    // Settings carried only by the configuration file; no feature uses them,
    // but a load followed by a save must keep them as the user left them.
    bool UseSMTP = true;
    std::string SmtpServer;
    std::string ReplyTo;
    // The number on the configuration file's Version line; 0 until one was parsed.
    double ConfigVersion = 0.0;

    std::int32_t ServiceCount() const { return static_cast<std::int32_t>(ServiceTable.size()); }
    // Number of additional services (records with service id 5).
    std::int32_t CustomCount() const;

    // Replaces the table with the six built-in networks (all disabled, no
    // rules, their default exclusion masks) and asks `discover` for each
    // network's shared directory (AudioGalaxy and LimeWire stay empty).
    void InitServiceTable(const ShareDirDiscovery& discover);

    // Position of the first record with this service id, or -1.
    int FindNetwork(std::uint8_t serviceid) const;
    // Position of the additional service numbered `othernum` (1-based), or -1.
    int FindAdditional(std::int32_t othernum) const;
    // Position of the record with this run-time identity, or -1.
    int FindByUid(std::uint64_t uid) const;

    // Appends an additional service (disabled, no rules) numbered
    // CustomCount() + 1 and returns its position.
    int AppendAdditional(const std::string& othername, const std::string& sharedir,
                         const std::string& excludefiles);
    // Removes the record at `index`; every later additional service's number
    // drops by one so they stay numbered 1..CustomCount() in table order.
    // Returns false when the index is out of range.
    bool DeleteService(int index);
    // Puts `rec` back at `index` (the end when past it); the additional
    // services are numbered 1..CustomCount() in table order again.
    void InsertService(int index, rServiceRules rec);

    // Gives a record entering the table its run-time identity.
    void AssignUid(rServiceRules& rec) { rec.uid = ++lastUid_; }

private:
    std::uint64_t lastUid_ = 0;
};

}  // namespace kb
