// The about box.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kb {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    // The box places itself against `mainWindow`.
    explicit AboutDialog(QWidget* mainWindow);

    QLabel* Image1 = nullptr;
    QLabel* lblPName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblComment = nullptr;
    QPushButton* Button1 = nullptr;

private:
    void place();
    QWidget* mainWindow_;
};

// Help › About: opens a new about box modally.
void ShowAbout(QWidget* mainWindow);

}  // namespace kb
