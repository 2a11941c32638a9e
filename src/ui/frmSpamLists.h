#pragma once

#include <QDialog>
#include <QStringList>

#include <array>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The user's spam lists, one entry a line: the tags a spam subject begins
// with and the senders whose mail is spam. Opened modally from the options
// dialog, which keeps what OK hands back until its own apply. A list left as
// the program comes with it is handed back as none, so the settings file
// keeps no copy of the defaults.
class frmSpamLists : public QDialog {
    Q_OBJECT

public:
    frmSpamLists(const std::optional<QStringList>& tags, const std::optional<QStringList>& senders,
        QWidget* parent = nullptr);

    // What the boxes hold, read at OK.
    const std::optional<QStringList>& Tags() const { return m_tags; }
    const std::optional<QStringList>& Senders() const { return m_senders; }

    std::array<QLabel*, 2> lblGuide; // 0 tags, 1 senders
    QLabel* lblNote; // the lists are kept only with the options
    QPlainTextEdit* txtTags;
    QPlainTextEdit* txtSenders;
    QPushButton* btnDefault;
    std::array<QPushButton*, 2> btnAction; // 0 OK, 1 cancel

private:
    void btnAction_Click(int Index);
    void btnDefault_Click();

    std::optional<QStringList> m_tags;
    std::optional<QStringList> m_senders;
};
