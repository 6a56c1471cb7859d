// Taking back what a rule did, from its journal entry: a move is moved back,
// a copy removed, a file deleted to the Trash restored. Refused, with the
// reason in words, whenever it could lose or overwrite something: the file
// changed since (its size or date differ from the entry), something else
// stands where it would go back to, or the action cannot be reversed.
#pragma once

#include <cstdint>
#include <string>

#include "engine/downloadclients.h"
#include "journal/journal.h"
#include "platform/status.h"

namespace kb {

// Whether `e` can be taken back now; the error says why not.
Status CanUndo(const JournalEntry& e);

// Takes `e` back (checking again first) and returns the entry that records
// it: action "undo <action>", ok or with the reason it failed, stamped `nowMs`.
// A move its download client made is taken back by the client, found in
// `clients`.
JournalEntry Undo(const JournalEntry& e, std::int64_t nowMs, ClientDesk* clients = nullptr);

}  // namespace kb
