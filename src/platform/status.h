// The one shape of a result in the core, wherever no numeric code is
// prescribed: success, or a failure with its reason in words that can be
// shown to the user as they stand.
#pragma once

#include <string>
#include <utility>

namespace kb {

// Not to be dropped unread, and never made without saying which it is.
struct [[nodiscard]] Status {
    Status(bool isOk, std::string why) : ok(isOk), error(std::move(why)) {}

    bool ok;
    std::string error;  // why, when not ok

    static Status Success() { return {true, {}}; }
    static Status Failure(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace kb
