// The program's images: its own icon and the side bar's icons.
#pragma once

#include <QIcon>
#include <cstdint>

namespace kb {

// The program's icon (window, tray, about box).
QIcon AppIcon();
// The side-bar icon of a service id (0..6); id 5 is the Others item.
QIcon ServiceIcon(std::uint8_t serviceId);
// The side-bar icon of the Activity page.
QIcon ActivityIcon();

}  // namespace kb
