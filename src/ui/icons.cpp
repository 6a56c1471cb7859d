#include "ui/icons.h"

#include <QString>

// The images live in a resource compiled into the static GUI library; a
// static library's resources must be registered by hand, from outside any
// namespace, before the first use.
static void InitKestrelboxResources() { Q_INIT_RESOURCE(kestrelbox); }

namespace kb {

namespace {

void ensureResources() {
    static const bool done = (InitKestrelboxResources(), true);
    (void)done;
}

}  // namespace

QIcon AppIcon() {
    ensureResources();
    return QIcon(QStringLiteral(":/icons/kestrelbox.png"));
}

QIcon ServiceIcon(std::uint8_t serviceId) {
    ensureResources();
    static const char* const kNames[] = {"kazaa",     "morpheus", "grokster", "audiogalaxy",
                                         "bearshare", "others",   "limewire"};
    if (serviceId >= std::size(kNames)) return QIcon();
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(kNames[serviceId])));
}

QIcon ActivityIcon() {
    ensureResources();
    return QIcon(QStringLiteral(":/icons/activity.png"));
}

}  // namespace kb
