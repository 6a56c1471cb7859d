// The program's application object. An error that escapes an event handler
// is shown to the user and ends only that handler, not the program: the
// window and the scan timer go on.
#pragma once

#include <QApplication>

namespace kb {

class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kb
