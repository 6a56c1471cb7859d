#include "editor/paramexchange.h"

#include "platform/numbers.h"

namespace kb {

std::optional<std::int32_t> TypedWholeNumber(const QString& text) {
    // The parser takes no "+"; a user may well type one.
    const QString digits = text.startsWith(u'+') ? text.mid(1) : text;
    if (digits.startsWith(u'-') && text.startsWith(u'+')) return std::nullopt;
    return ParseNumber<std::int32_t>(digits.toStdString());
}

}  // namespace kb
