#include "RecordingShellOpenService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"
#include "app/CommonSettings.h"
#include "settings/AppSettings.h"
#include "ui/frmOption.h"
#include "ui/frmSpamLists.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kInvalidData = QStringLiteral("データが入力されていないか、不正なデータが入力されています。");

void MakeFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// The dialog shown and active, as the main window's exec() would have it.
std::unique_ptr<frmOption> OpenOptions()
{
    auto dialog = std::make_unique<frmOption>();
    dialog->show();
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog.get()))
        return {};
    return dialog;
}

bool SameOptions(const CommonSettingsRecord& a, const CommonSettingsRecord& b)
{
    return a.ShowArrivalFormTime == b.ShowArrivalFormTime && a.PopTimeOut == b.PopTimeOut
        && a.StartMinimizedWindow == b.StartMinimizedWindow && a.RecheckMailChecked == b.RecheckMailChecked
        && a.FormClosedIsMinimized == b.FormClosedIsMinimized
        && a.ArrivalFormPosition == b.ArrivalFormPosition && a.ArrivalSound == b.ArrivalSound
        && a.SoundFolder == b.SoundFolder && a.OpenMailWith == b.OpenMailWith;
}

} // namespace

class tst_frmOption : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void validation_data()
    {
        QTest::addColumn<QString>("popTimeOut");
        QTest::addColumn<QString>("showTime");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("focused"); // the field focused after a rejection
        QTest::addColumn<int>("storedPopTimeOut");
        QTest::addColumn<int>("storedShowTime");

        QTest::newRow("time-out of half a second is less than one")
            << "0.5"
            << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out 1.5 rounds up to 2") << "1.5"
                                                     << "5" << true << "" << 2 << 5;
        QTest::newRow("time-out 2.5 rounds to the even 2") << "2.5"
                                                           << "5" << true << "" << 2 << 5;
        QTest::newRow("time-out of one second is the least") << "1"
                                                             << "5" << true << "" << 1 << 5;
        QTest::newRow("time-out of nought") << "0"
                                            << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out empty") << ""
                                        << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out in words") << "ten"
                                           << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out with a unit after it") << "30 s"
                                                       << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out beyond a 32-bit number") << "3000000000"
                                                         << "5" << false << "txtPopTimeOut" << 0 << 0;
        QTest::newRow("time-out with blanks around it") << " 30 "
                                                        << "5" << true << "" << 30 << 5;
        QTest::newRow("display time 0 keeps the window until closed") << "10"
                                                                      << "0" << true << "" << 10 << 0;
        QTest::newRow("display time -1") << "10"
                                         << "-1" << false << "txtShowArrivalFormTime" << 0 << 0;
        QTest::newRow("display time empty") << "10"
                                            << "" << false << "txtShowArrivalFormTime" << 0 << 0;
        QTest::newRow("display time just below nought")
            << "10"
            << "-0.4" << false << "txtShowArrivalFormTime" << 0 << 0;
        QTest::newRow("display time 2.5 rounds to the even 2") << "10"
                                                               << "2.5" << true << "" << 10 << 2;
        QTest::newRow("display time 3.5 rounds to the even 4") << "10"
                                                               << "3.5" << true << "" << 10 << 4;
        QTest::newRow("both wrong: the time-out is named first")
            << ""
            << "-1" << false << "txtPopTimeOut" << 0 << 0;
    }

    void validation()
    {
        QFETCH(QString, popTimeOut);
        QFETCH(QString, showTime);
        QFETCH(bool, accepted);
        QFETCH(QString, focused);
        QFETCH(int, storedPopTimeOut);
        QFETCH(int, storedShowTime);

        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        CommonSettings.PopTimeOut = 7;
        CommonSettings.ShowArrivalFormTime = 9;
        const CommonSettingsRecord before = CommonSettings;

        auto dialog = OpenOptions();
        QVERIFY(dialog);
        dialog->txtPopTimeOut->setText(popTimeOut);
        dialog->txtShowArrivalFormTime->setText(showTime);
        dialog->btnAction[0]->click();

        if (accepted) {
            QVERIFY(boxes.shown().isEmpty());
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QVERIFY(!dialog->isVisible());
            QCOMPARE(CommonSettings.PopTimeOut, storedPopTimeOut);
            QCOMPARE(CommonSettings.ShowArrivalFormTime, storedShowTime);
            const QByteArray file = settings.read();
            QVERIFY(file.contains("\r\nPopTimeOut=" + QByteArray::number(storedPopTimeOut) + "\r\n"));
            QVERIFY(file.contains("ShowArrivalFormTime=" + QByteArray::number(storedShowTime) + "\r\n"));
        } else {
            QCOMPARE(boxes.shown().size(), 1);
            QCOMPARE(boxes.shown().at(0).text, kInvalidData);
            QCOMPARE(boxes.shown().at(0).icon, MessageBoxService::Icon::Exclamation);
            QCOMPARE(boxes.shown().at(0).buttons, MessageBoxService::Buttons::Ok);
            QCOMPARE(boxes.shown().at(0).title, QStringLiteral("タンドレル"));
            QVERIFY(dialog->isVisible());
            QTRY_COMPARE(
                QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focused);
            QVERIFY(SameOptions(CommonSettings, before));
            QVERIFY(!settings.exists());
        }
    }

    void focusSelectsTheWholeNumber_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("time-out") << "txtPopTimeOut";
        QTest::newRow("display time") << "txtShowArrivalFormTime";
    }

    void focusSelectsTheWholeNumber()
    {
        QFETCH(QString, field);
        TempSettingsFile settings;
        CommonSettings.PopTimeOut = 45;
        CommonSettings.ShowArrivalFormTime = 120;
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        auto* box = dialog->findChild<QLineEdit*>(field);
        QVERIFY(box);
        dialog->btnAddSound->setFocus();
        box->deselect();
        box->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(box->hasFocus());
        QCOMPARE(box->selectedText(), box->text());
        QVERIFY(!box->text().isEmpty());
    }

    void positionRoundTrip_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown"); // empty: nothing selected
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("saved");

        QTest::newRow("top left shown, centre chosen") << 5 << "左上"
                                                       << "中央" << 1;
        QTest::newRow("centre shown, bottom right chosen") << 1 << "中央"
                                                           << "右下" << 2;
        QTest::newRow("bottom right shown, top right chosen") << 2 << "右下"
                                                              << "右上" << 3;
        QTest::newRow("top right shown, bottom left chosen") << 3 << "右上"
                                                             << "左下" << 4;
        QTest::newRow("bottom left shown, top left chosen") << 4 << "左下"
                                                            << "左上" << 5;
        QTest::newRow("code 0 selects nothing") << 0 << ""
                                                << "左下" << 4;
        QTest::newRow("code 6 selects nothing") << 6 << ""
                                                << "中央" << 1;
    }

    void positionRoundTrip()
    {
        QFETCH(int, stored);
        QFETCH(QString, shown);
        QFETCH(QString, chosen);
        QFETCH(int, saved);

        TempSettingsFile settings;
        CommonSettings.ArrivalFormPosition = stored;
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QComboBox* list = dialog->cboArrivalFormPosition;
        const QStringList entries = { u"中央"_qs, u"右下"_qs, u"右上"_qs, u"左下"_qs, u"左上"_qs };
        QCOMPARE(list->count(), 5);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(list->itemText(i), entries.at(i));
        QCOMPARE(list->currentText(), shown);
        QCOMPARE(list->currentIndex(), shown.isEmpty() ? -1 : int(entries.indexOf(shown)));

        list->setCurrentIndex(list->findText(chosen));
        dialog->btnAction[0]->click();
        QCOMPARE(CommonSettings.ArrivalFormPosition, saved);
        QVERIFY(settings.read().contains("ArrivalFormPosition=" + QByteArray::number(saved) + "\r\n"));
    }

    void soundSelection_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("selected"); // empty: nothing selected
        QTest::addColumn<bool>("backslash"); // the folder spelt as on Windows

        QTest::newRow("ding.wav finds Ding.WAV") << "ding.wav"
                                                 << "Ding.WAV" << false;
        QTest::newRow("DING.WAV finds Ding.WAV") << "DING.WAV"
                                                 << "Ding.WAV" << false;
        QTest::newRow("exact name") << "chime.wav"
                                    << "chime.wav" << false;
        QTest::newRow("a sound no longer there") << "gone.wav"
                                                 << "" << false;
        QTest::newRow("no sound chosen") << ""
                                         << "" << false;
        QTest::newRow("a name that is only a prefix") << "ding"
                                                      << "" << false;
        QTest::newRow("folder spelt with a backslash") << "ding.wav"
                                                       << "Ding.WAV" << true;
    }

    void soundSelection()
    {
        QFETCH(QString, stored);
        QFETCH(QString, selected);
        QFETCH(bool, backslash);

        TempSettingsFile settings;
        QTemporaryDir sounds;
        MakeFile(sounds.filePath(QStringLiteral("Ding.WAV")));
        MakeFile(sounds.filePath(QStringLiteral("chime.wav")));
        MakeFile(sounds.filePath(QStringLiteral("readme.txt")));
        MakeFile(sounds.filePath(QStringLiteral("chime.wav.bak")));
        QVERIFY(QDir(sounds.path()).mkdir(QStringLiteral("folder.wav")));
        CommonSettings.SoundFolder = sounds.path();
        if (backslash) {
            const qsizetype cut = CommonSettings.SoundFolder.lastIndexOf(u'/');
            CommonSettings.SoundFolder[cut] = u'\\';
        }
        CommonSettings.ArrivalSound = stored;

        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QComboBox* list = dialog->cboArrivalSound;
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->itemText(0), QStringLiteral("chime.wav"));
        QCOMPARE(list->itemText(1), QStringLiteral("Ding.WAV"));
        QCOMPARE(list->currentText(), selected);

        dialog->btnAction[0]->click();
        QCOMPARE(CommonSettings.ArrivalSound, selected);
        QVERIFY(settings.read().contains("ArrivalSound=" + selected.toLatin1() + "\r\n"));
    }

    void missingSoundFolderGivesAnEmptyList()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        CommonSettings.SoundFolder = settings.folder() + QStringLiteral("/no such folder");
        CommonSettings.ArrivalSound = QStringLiteral("ding.wav");
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QCOMPARE(dialog->cboArrivalSound->count(), 0);
        dialog->btnAction[0]->click();
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(CommonSettings.ArrivalSound, QString());
    }

    void soundListRefreshesOnFocus()
    {
        TempSettingsFile settings;
        QTemporaryDir sounds;
        MakeFile(sounds.filePath(QStringLiteral("b.wav")));
        CommonSettings.SoundFolder = sounds.path();
        CommonSettings.ArrivalSound = QStringLiteral("b.wav");
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QCOMPARE(dialog->cboArrivalSound->count(), 1);

        // The user copied sounds in meanwhile; the list shows them when it is
        // next entered, and the choice stays.
        MakeFile(sounds.filePath(QStringLiteral("a.wav")));
        MakeFile(sounds.filePath(QStringLiteral("c.WAV")));
        QCOMPARE(dialog->cboArrivalSound->count(), 1);
        dialog->cboArrivalSound->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(dialog->cboArrivalSound->count(), 3);
        QCOMPARE(dialog->cboArrivalSound->currentText(), QStringLiteral("b.wav"));
    }

    void checkBoxesRoundTrip_data()
    {
        QTest::addColumn<bool>("value");
        QTest::newRow("all on and a web address, turned off and emptied: no key") << true;
        QTest::newRow("all off, turned on and a command typed with blanks around it") << false;
    }

    void checkBoxesRoundTrip()
    {
        QFETCH(bool, value);
        TempSettingsFile settings;
        CommonSettings.StartMinimizedWindow = value;
        CommonSettings.FormClosedIsMinimized = value;
        CommonSettings.RecheckMailChecked = value;
        CommonSettings.PasswordInKeyring = value;
        CommonSettings.OpenMailWith = value ? QStringLiteral("https://mail.example.jp/") : QString();
        CommonSettings.QuietWhenBusy = value;
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QCOMPARE(dialog->txtOpenMailWith->text(), CommonSettings.OpenMailWith);
        dialog->txtOpenMailWith->setText(
            value ? QStringLiteral("  ") : QStringLiteral(" thunderbird -mail "));
        const QList<QCheckBox*> boxes = { dialog->chkStartMinimizedWindow, dialog->chkFormCloseIsMinimized,
            dialog->chkRecheckMailChecked, dialog->chkPasswordInKeyring, dialog->chkQuietWhenBusy };
        for (QCheckBox* box : boxes) {
            QCOMPARE(box->isChecked(), value);
            box->setChecked(!value);
        }
        dialog->btnAction[0]->click();
        QCOMPARE(CommonSettings.StartMinimizedWindow, !value);
        QCOMPARE(CommonSettings.FormClosedIsMinimized, !value);
        QCOMPARE(CommonSettings.RecheckMailChecked, !value);
        QCOMPARE(CommonSettings.PasswordInKeyring, !value);
        QCOMPARE(CommonSettings.QuietWhenBusy, !value);
        const QByteArray word = !value ? "True" : "False";
        QVERIFY(settings.read().contains("StartMinimizedWindow=" + word + "\r\n"));
        QCOMPARE(CommonSettings.OpenMailWith, value ? QString() : QStringLiteral("thunderbird -mail"));
        QCOMPARE(settings.read().contains("OpenMailWith"), !value);
        QVERIFY(value || settings.read().contains("\r\nOpenMailWith=thunderbird -mail\r\n"));
        // Written only away from its default, which is on.
        QCOMPARE(settings.read().contains("QuietWhenBusy=False\r\n"), value);
    }

    void leavingWithoutApplying_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("closes");

        QTest::newRow("キャンセル(&S)") << "cancel" << true;
        QTest::newRow("Alt+F4") << "alt+f4" << true;
        QTest::newRow("close hot spot top right") << "hot spot 0" << true;
        QTest::newRow("close hot spot top left") << "hot spot 1" << true;
        QTest::newRow("Alt+Shift+F4 is not Alt+F4") << "alt+shift+f4" << false;
        QTest::newRow("Ctrl+Alt+F4 is not Alt+F4") << "ctrl+alt+f4" << false;
        QTest::newRow("F4 alone") << "f4" << false;
        QTest::newRow("Escape is not a key of this dialog") << "escape" << false;
        QTest::newRow("Enter in a text box presses no button") << "enter" << false;
    }

    void leavingWithoutApplying()
    {
        QFETCH(QString, how);
        QFETCH(bool, closes);

        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        QTemporaryDir sounds;
        MakeFile(sounds.filePath(QStringLiteral("a.wav")));
        MakeFile(sounds.filePath(QStringLiteral("b.wav")));
        CommonSettings.SoundFolder = sounds.path();
        CommonSettings.ArrivalSound = QStringLiteral("a.wav");
        CommonSettings.PopTimeOut = 30;
        SaveSettings();
        const QByteArray file = settings.read();
        QVERIFY(!file.isEmpty());
        const CommonSettingsRecord before = CommonSettings;

        auto dialog = OpenOptions();
        QVERIFY(dialog);
        dialog->txtPopTimeOut->setText(QStringLiteral("99"));
        dialog->txtShowArrivalFormTime->setText(QStringLiteral("12"));
        dialog->cboArrivalFormPosition->setCurrentIndex(0);
        dialog->cboArrivalSound->setCurrentIndex(1);
        dialog->chkRecheckMailChecked->setChecked(!before.RecheckMailChecked);
        dialog->chkStartMinimizedWindow->setChecked(!before.StartMinimizedWindow);
        dialog->txtOpenMailWith->setText(QStringLiteral("https://mail.example.jp/"));
        dialog->txtPopTimeOut->setFocus();
        QTRY_VERIFY(dialog->txtPopTimeOut->hasFocus());
        QWidget* focused = dialog->txtPopTimeOut;

        if (how == u"cancel")
            dialog->btnAction[1]->click();
        else if (how == u"alt+f4")
            QTest::keyClick(focused, Qt::Key_F4, Qt::AltModifier);
        else if (how == u"alt+shift+f4")
            QTest::keyClick(focused, Qt::Key_F4, Qt::AltModifier | Qt::ShiftModifier);
        else if (how == u"ctrl+alt+f4")
            QTest::keyClick(focused, Qt::Key_F4, Qt::AltModifier | Qt::ControlModifier);
        else if (how == u"f4")
            QTest::keyClick(focused, Qt::Key_F4);
        else if (how == u"escape")
            QTest::keyClick(focused, Qt::Key_Escape);
        else if (how == u"enter")
            QTest::keyClick(focused, Qt::Key_Return);
        else if (how.startsWith(u"hot spot"))
            QTest::mouseClick(dialog->lblClose[how.back() == u'0' ? 0 : 1], Qt::LeftButton);

        QCOMPARE(!dialog->isVisible(), closes);
        if (closes)
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(settings.read(), file);
        QVERIFY(SameOptions(CommonSettings, before));
    }

    void addSound_data()
    {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("separator");

        QTest::newRow("existing folder") << "Wave" << true << "/";
        QTest::newRow("missing folder is created") << "Wave" << false << "/";
        QTest::newRow("blanks and Japanese in the path") << "My Sounds/音 ファイル" << true << "/";
        QTest::newRow("missing nested folder with blanks is created") << "a b/c d" << false << "/";
        QTest::newRow("default folder spelt with a backslash, missing") << "Wave" << false << "\\";
    }

    void addSound()
    {
        QFETCH(QString, folderName);
        QFETCH(bool, exists);
        QFETCH(QString, separator);

        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        RecordingShellOpenService shell;
        const QString folder = settings.folder() + u'/' + folderName;
        if (exists)
            QVERIFY(QDir().mkpath(folder));
        CommonSettings.SoundFolder = settings.folder() + separator + folderName;

        auto dialog = OpenOptions();
        QVERIFY(dialog);
        dialog->btnAddSound->click();

        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(
            boxes.shown().at(0).text, QStringLiteral("このフォルダにWAVEファイルをコピーしてください。"));
        QCOMPARE(boxes.shown().at(0).icon, MessageBoxService::Icon::Information);
        QCOMPARE(boxes.shown().at(0).title, QStringLiteral("タンドレル"));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(shell.opened.size(), 1);
        QVERIFY(shell.opened.at(0).isLocalFile());
        QCOMPARE(shell.opened.at(0).toLocalFile(), folder);
        // Opening the folder neither closes the dialog nor saves anything.
        QVERIFY(dialog->isVisible());
        QVERIFY(!settings.exists());
    }

    void spamBoxes_data()
    {
        QTest::addColumn<bool>("stored"); // both boxes on in the file
        QTest::addColumn<QString>("clicked"); // the boxes the user clicks, in order
        QTest::addColumn<bool>("savedCheck");
        QTest::addColumn<bool>("savedDelete"); // and whether deletion can be ticked at the end

        QTest::newRow("detection off: deletion cannot be ticked") << false << "delete" << false << false;
        QTest::newRow("detection ticked, then deletion") << false << "check delete" << true << true;
        QTest::newRow("detection off and on again: deletion stays off")
            << true << "check check" << true << false;
    }

    void spamBoxes()
    {
        QFETCH(bool, stored);
        QFETCH(QString, clicked);
        QFETCH(bool, savedCheck);
        QFETCH(bool, savedDelete);
        TempSettingsFile settings;
        CommonSettings.SpamCheck = CommonSettings.SpamDelete = stored;
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        for (const QString& box : clicked.split(u' ', Qt::SkipEmptyParts))
            QTest::mouseClick(box == u"check" ? dialog->chkSpamCheck : dialog->chkDeleteSpam, Qt::LeftButton);
        QCOMPARE(dialog->chkDeleteSpam->isEnabled(), savedCheck);
        QVERIFY(!dialog->chkVirusCheck->isEnabled() && !dialog->chkVirusDelete->isEnabled());
        dialog->btnAction[0]->click();
        QCOMPARE(settings.read().contains("\r\nSpamCheck=True\r\n"), savedCheck);
        QCOMPARE(settings.read().contains("\r\nSpamDelete=True\r\n"), savedDelete);
    }

    void spamListsTakeEffectWithTheOptions_data()
    {
        QTest::addColumn<QString>("typedTags"); // null: "既定に戻す(&D)" pressed instead
        QTest::addColumn<bool>("applied"); // the options dialog's apply, else its cancel
        QTest::addColumn<QString>("tags"); // the stored lists, entries joined by "|"
        QTest::addColumn<QString>("senders");

        QTest::newRow("既定に戻す: no list stored") << QString() << true << "none" << QString("none");
        QTest::newRow("blanks and blank lines dropped")
            << "  [広告]  \n\n\t[PR]\n"
            << true << "[広告]|[PR]" << QString("ads@example.jp|example.com");
        QTest::newRow("options cancelled: the edit is dropped")
            << "[PR]" << false << "[古い印]" << QString("old@example.jp");
    }

    void spamListsTakeEffectWithTheOptions()
    {
        QFETCH(QString, typedTags);
        QFETCH(bool, applied);
        QFETCH(QString, tags);
        QFETCH(QString, senders);
        TempSettingsFile settings;
        CommonSettings.SpamTags = QStringList { QStringLiteral("[古い印]") };
        CommonSettings.SpamSenders = QStringList { QStringLiteral("old@example.jp") };
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        QString shown;
        QTimer::singleShot(0, dialog.get(), [&] {
            auto* editor = qobject_cast<frmSpamLists*>(QApplication::activeModalWidget());
            QVERIFY(editor);
            shown = editor->txtTags->toPlainText() + u'|' + editor->txtSenders->toPlainText();
            // Every list and button is reached from the keyboard.
            editor->activateWindow();
            QTRY_VERIFY(editor->isActiveWindow());
            QTest::keyClick(editor, Qt::Key_F, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), editor->txtSenders);
            editor->txtTags->setPlainText(typedTags);
            editor->txtSenders->setPlainText(QStringLiteral(" ads@example.jp \n\n example.com "));
            if (typedTags.isNull())
                QTest::keyClick(editor, Qt::Key_D, Qt::AltModifier);
            QTest::keyClick(editor, Qt::Key_O, Qt::AltModifier);
        });
        dialog->btnSpamLists->click();
        QCOMPARE(shown, QStringLiteral("[古い印]|old@example.jp"));
        dialog->btnAction[applied ? 0 : 1]->click();
        const auto joined = [](const std::optional<QStringList>& list) {
            return list ? list->join(u'|') : QStringLiteral("none");
        };
        QCOMPARE(joined(CommonSettings.SpamTags), tags);
        QCOMPARE(joined(CommonSettings.SpamSenders), senders);
        QCOMPARE(settings.read().contains("[SpamTags]"), applied && tags != u"none");
    }

    void tabOrder()
    {
        TempSettingsFile settings;
        CommonSettings.SpamCheck = true;
        auto dialog = OpenOptions();
        QVERIFY(dialog);
        // Out of the general frame, the left column from the top down, then the bottom line.
        const QList<QWidget*> order { dialog->chkQuietWhenBusy, dialog->chkSpamCheck, dialog->btnSpamLists,
            dialog->chkDeleteSpam, dialog->txtPopTimeOut, dialog->chkRecheckMailChecked,
            dialog->chkPasswordInKeyring, dialog->txtOpenMailWith, dialog->btnAction[0] };
        order.first()->setFocus();
        for (QWidget* next : order.mid(1)) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void captions_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");

        QTest::newRow("lblTitle") << "lblTitle"
                                  << "タンドレル";
        QTest::newRow("fraOption(3)") << "fraOption3"
                                      << "操作全般";
        QTest::newRow("fraOption(2)") << "fraOption2"
                                      << "ＰＯＰ設定";
        QTest::newRow("fraOption(1)") << "fraOption1"
                                      << "スパムメール対策";
        QTest::newRow("fraOption(0)") << "fraOption0"
                                      << "ウイルスメール対策";
        QTest::newRow("lblGuide(0)") << "lblGuide0"
                                     << "POPタイムアウト(秒)(&T)";
        QTest::newRow("lblGuide(1)") << "lblGuide1"
                                     << "到着確認表示時間(秒)(&A)";
        QTest::newRow("lblGuide(2)") << "lblGuide2"
                                     << "到着確認表示位置(&P)";
        QTest::newRow("lblGuide(3)") << "lblGuide3"
                                     << "到着確認音(&O)";
        QTest::newRow("lblGuide(4)") << "lblGuide4"
                                     << "到着確認音追加";
        QTest::newRow("lblGuide(5)") << "lblGuide5"
                                     << "（表示継続する場合は０秒を設定）";
        QTest::newRow("lblGuide(6)") << "lblGuide6"
                                     << "新着メールを開く(&W)";
        QTest::newRow("btnAddSound") << "btnAddSound"
                                     << "追加(&N)";
        QTest::newRow("chkStartMinimizedWindow") << "chkStartMinimizedWindow"
                                                 << "最小化状態で起動する(&Z)";
        QTest::newRow("chkFormCloseIsMinimized") << "chkFormCloseIsMinimized"
                                                 << "閉じるボタンを最小化ボタンとする(&M)";
        QTest::newRow("chkQuietWhenBusy") << "chkQuietWhenBusy"
                                          << "取り込み中は到着通知を控える(&Q)";
        QTest::newRow("chkRecheckMailChecked") << "chkRecheckMailChecked"
                                               << "確認済みメールを再度確認する(&R)";
        QTest::newRow("chkSpamCheck") << "chkSpamCheck"
                                      << "スパム検出を行う(&S)";
        QTest::newRow("chkDeleteSpam") << "chkDeleteSpam"
                                       << "スパムメールを削除する(&P)";
        QTest::newRow("what deletion keeps, said where it is seen") << "lblSpamCopy"
                                                                    << "（削除の前に控えを保存します）";
        QTest::newRow("the box for opening mail shows an example") << "txtOpenMailWith"
                                                                   << "例: https://mail.example.jp/";
        QTest::newRow("chkVirusCheck") << "chkVirusCheck"
                                       << "ウイルス検出を行う(&V)";
        QTest::newRow("chkVirusDelete") << "chkVirusDelete"
                                        << "ウイルスメールを削除する(&I)";
        QTest::newRow("btnAction(0)") << "btnAction0"
                                      << "設定(&S)";
        QTest::newRow("btnAction(1)") << "btnAction1"
                                      << "キャンセル(&S)";
        QTest::newRow("lblClose(0) has no caption") << "lblClose0"
                                                    << "";
        QTest::newRow("lblClose(1) has no caption") << "lblClose1"
                                                    << "";
    }

    void captions()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        TempSettingsFile settings;
        frmOption dialog;
        QObject* found = dialog.findChild<QObject*>(control);
        QVERIFY2(found, qPrintable(control));
        QString text;
        if (auto* label = qobject_cast<QLabel*>(found))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(found))
            text = button->text();
        else if (auto* frame = qobject_cast<QGroupBox*>(found))
            text = frame->title();
        else if (auto* box = qobject_cast<QLineEdit*>(found))
            text = box->placeholderText();
        QCOMPARE(text, caption);
    }

    void borderlessFixedSize()
    {
        TempSettingsFile settings;
        frmOption dialog;
        QCOMPARE(dialog.size(), QSize(530, 282));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        for (QGroupBox* frame : dialog.fraOption)
            QCOMPARE(frame->palette().color(QPalette::Window), QColor(222, 219, 222));
        QCOMPARE(dialog.chkRecheckMailChecked->palette().color(QPalette::Window), QColor(222, 219, 222));
        // The hot spots lose their borders at load.
        QCOMPARE(dialog.lblClose[0]->frameShape(), QFrame::NoFrame);
        QVERIFY(dialog.lblClose[0]->geometry().right() > 500);
        QVERIFY(dialog.lblClose[1]->geometry().left() < 30);
        // Nothing lies on a frame's border or title line, and the buttons in
        // the frames are as tall as the one for adding sounds.
        for (QGroupBox* frame : dialog.fraOption)
            for (QWidget* inside : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                QVERIFY2(inside->y() >= frame->fontMetrics().height()
                        && frame->rect().adjusted(1, 1, -1, -1).contains(inside->geometry()),
                    qPrintable(inside->objectName()));
                if (qobject_cast<QPushButton*>(inside))
                    QVERIFY2(
                        inside->height() >= dialog.btnAddSound->height(), qPrintable(inside->objectName()));
            }
        // The box for opening mail has room of its own.
        for (QWidget* other : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY(other == dialog.txtOpenMailWith || other == dialog.lblGuide[6]
                || !other->geometry().intersects(dialog.txtOpenMailWith->geometry()));
    }
};

QTEST_MAIN(tst_frmOption)
#include "tst_frmOption.moc"
