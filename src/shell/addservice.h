// The add/edit service dialog: name, shared directory and exclusion masks of
// an additional service. It changes the service table only when OK passes its
// checks; the caller rebuilds its lists and saves afterwards.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <QString>
#include <cstdint>
#include <vector>

#include "store/clientconfig.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kb {

class ServiceContext;

class AddServiceDialog : public QDialog {
    Q_OBJECT

public:
    // ServiceEditMode false: OK appends a new additional service. True: the
    // dialog edits the current service record (the additional service
    // selected on the Others page), whose name, directory and masks it shows.
    // In add mode, `found` lists client folders found on this computer; the
    // dialog then offers them in a list that fills in the fields.
    AddServiceDialog(ServiceContext& ctx, bool ServiceEditMode, QWidget* parent = nullptr,
                     std::vector<FoundClient> found = {});

    bool ServiceEditMode() const { return editMode_; }

    QLabel* Label1 = nullptr;
    QLineEdit* teService = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* teSharedDir = nullptr;
    QPushButton* Button3 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* teExclude = nullptr;
    // Only with folders found: "Found on this computer:" and its list.
    QLabel* lblFound = nullptr;
    QComboBox* cbFound = nullptr;
    // A found client that can be asked: whether it answers, and Test.
    QLabel* lblFoundClient = nullptr;
    QPushButton* btnTestFoundClient = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    // "Browse...": lets the user pick the shared directory.
    void browse();
    // "OK": checks the fields, stores the service and closes with Accepted.
    void confirm();
    void place();
    // A found folder was chosen: name, folder and masks are filled in.
    void foundChosen(int index);
    // Asks the chosen found client, in the background, and says how it went.
    void testFoundClient();
    // Position of the edited record in the table, or -1 once it is gone.
    int editedIndex() const;
    // The first check OK fails, or an empty text when the fields are valid.
    QString validationProblem() const;

    ServiceContext& ctx_;
    bool editMode_;
    // Identity of the edited record, taken when the dialog opens: scan passes
    // run while the dialog is open, so no position is kept across events.
    std::uint64_t editedUid_ = 0;
    std::vector<FoundClient> found_;
    // The folder chooser's starting folder: the root at first, then the
    // folder last chosen with it.
    QString browseStart_;
    int chosen_ = -1;  // the found folder chosen, -1 for none
    QFutureWatcher<QString> trial_;
};

}  // namespace kb
