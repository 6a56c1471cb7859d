#include "shell/buttoncolumn.h"

#include <QPushButton>
#include <QString>
#include <algorithm>

namespace kb {

int SideButtonWidth() {
    static const char* const kCaptions[] = {
        "Add Rule...", "Edit Rule...",   "Delete Rule...",  "Move Up",
        "Move Down",   "Add Service...", "Edit Service...", "Delete Service",
    };
    int width = 81;
    for (const char* caption : kCaptions)
        width = std::max(width, QPushButton(QString::fromLatin1(caption)).sizeHint().width());
    return width;
}

}  // namespace kb
