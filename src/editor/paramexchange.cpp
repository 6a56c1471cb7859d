#include "editor/paramexchange.h"

#include <limits>

namespace kb {

bool ParseWholeNumber(const QString& text, std::int32_t& value) {
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    // Accumulate as a negative number so the most negative value fits too.
    std::int64_t acc = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return false;
        acc = acc * 10 - (c - u'0');
        if (acc < std::numeric_limits<std::int32_t>::min()) return false;
    }
    if (!negative) {
        if (-acc > std::numeric_limits<std::int32_t>::max()) return false;
        acc = -acc;
    }
    value = static_cast<std::int32_t>(acc);
    return true;
}

}  // namespace kb
