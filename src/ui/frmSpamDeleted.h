#pragma once

#include <QDialog>

#include <array>

class FlatListView;
class QPushButton;

// The spam kept in the local mailbox before its deletion on the server,
// newest first, and whether the server has deleted it yet. The list is read
// from the folder each time the window is shown, as a check may have added
// to it meanwhile.
class frmSpamDeleted : public QDialog {
    Q_OBJECT

public:
    // folder: the local mailbox to list.
    explicit frmSpamDeleted(QString folder, QWidget* parent = nullptr);

    // Reads the folder again, then shows the window in front.
    void ShowList();

    FlatListView* lvSpamList;
    std::array<QPushButton*, 2> btnAction; // 0 open the folder, 1 close

private:
    void SetSpamList();
    void btnAction_Click(int Index);

    QString m_folder;
};
