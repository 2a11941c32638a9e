#pragma once

#include <QDialog>
#include <QStringList>

#include <array>
#include <optional>

class BorderlessChrome;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The program-wide options, edited in a borderless dialog with a drawn face.
// Open it modally with exec(); "設定(&S)" stores the options and saves every
// setting, anything else that closes it leaves both untouched.
class frmOption : public QDialog {
    Q_OBJECT

public:
    explicit frmOption(QWidget* parent = nullptr);

    // Both numeric fields hold acceptable numbers; otherwise says so, focuses
    // the first offending field and returns false.
    bool IsValidData();

    // Lists the *.wav files of the sound folder and selects the one named
    // strName, ignoring case; the list stays empty without the folder.
    void GetSoundFile(const QString& strName);

    QLabel* lblTitle;
    std::array<QLabel*, 2> lblClose; // 0 top right, 1 top left
    std::array<QGroupBox*, 4> fraOption;
    std::array<QLabel*, 7> lblGuide;
    QLineEdit* txtShowArrivalFormTime;
    QComboBox* cboArrivalFormPosition;
    QComboBox* cboArrivalSound;
    QPushButton* btnAddSound;
    QCheckBox* chkStartMinimizedWindow;
    QCheckBox* chkFormCloseIsMinimized;
    QCheckBox* chkQuietWhenBusy;
    QLineEdit* txtPopTimeOut;
    QCheckBox* chkRecheckMailChecked;
    QCheckBox* chkPasswordInKeyring;
    // A web address or command line that opens the mail; empty leaves it to the desktop.
    QLineEdit* txtOpenMailWith;
    QCheckBox* chkSpamCheck;
    QCheckBox* chkDeleteSpam; // enabled only while detection is ticked
    QPushButton* btnSpamLists; // opens the editor of the tags and senders
    QLabel* lblSpamNote; // deletion is POP3's alone
    QLabel* lblSpamCopy; // deletion keeps a copy first
    // Shown for what the program does not do: disabled, never read or stored.
    QCheckBox* chkVirusCheck;
    QCheckBox* chkVirusDelete;
    std::array<QPushButton*, 2> btnAction; // 0 apply, 1 cancel

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void btnAction_Click(int Index);
    void btnAddSound_Click();
    void lblClose_Click(int Index);
    void cboArrivalSound_GotFocus();
    void chkSpamCheck_Click();
    void btnSpamLists_Click();

    BorderlessChrome* m_chrome;
    // The lists as edited, stored with the other options at apply.
    std::optional<QStringList> m_spamTags;
    std::optional<QStringList> m_spamSenders;
};
