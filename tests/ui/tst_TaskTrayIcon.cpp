#include "RecordingTrayIconService.h"
#include "app/TrayTip.h"
#include "platform/gui/QtTrayIconService.h"
#include "ui/TrayPictures.h"
#include "ui/clsTaskTrayIcon.h"

#include <QMenu>
#include <QMouseEvent>
#include <QTest>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

namespace {

// A main window stand-in that keeps what its mouse-move handler decoded.
class Owner final : public QWidget {
public:
    QList<std::optional<qint32>> decoded;

protected:
    void mouseMoveEvent(QMouseEvent* event) override
    {
        decoded.append(clsTaskTrayIcon::CallbackMessage(*event));
    }
};

enum Step { SetHwnd, SetTip, SetIcon, Show, Hide };
using Steps = QList<int>;

constexpr qint32 Add = TrayIconService::NIM_ADD;
constexpr qint32 Modify = TrayIconService::NIM_MODIFY;
constexpr qint32 Delete = TrayIconService::NIM_DELETE;

} // namespace

class tst_TaskTrayIcon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordAtCreation()
    {
        RecordingTrayIconService tray;
        const clsTaskTrayIcon icon;
        const NotifyIconRecord& nid = icon.Record();
        QCOMPARE(nid.cbSize, 88u);
        QCOMPARE(nid.uID, 1u);
        QCOMPARE(nid.uFlags, 7u);
        QCOMPARE(nid.uCallbackMessage, 512u);
        QVERIFY(nid.hWnd.isNull());
        QVERIFY(nid.hIcon.isNull());
        QCOMPARE(nid.szTip.size(), 64);
        QCOMPARE(nid.TipText(), QString());
        QCOMPARE(clsTaskTrayIcon::WM_LBUTTONDOWN, 513);
        QCOMPARE(clsTaskTrayIcon::WM_RBUTTONDOWN, 516);
        QVERIFY(tray.calls.isEmpty());
    }

    void callSequence_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QList<qint32>>("messages");

        QTest::newRow("properties before showing call nothing")
            << Steps { SetHwnd, SetTip, SetIcon } << true << QList<qint32> {};
        QTest::newRow("start-up order: add without picture, then modify with it")
            << Steps { SetHwnd, SetTip, Show, SetIcon } << true << QList<qint32> { Add, Modify };
        QTest::newRow("a check swaps the picture twice") << Steps { SetHwnd, SetTip, Show, SetIcon, SetIcon,
            SetIcon } << true << QList<qint32> { Add, Modify, Modify, Modify };
        QTest::newRow("a failed add still turns later updates into modifications")
            << Steps { Show, SetIcon } << false << QList<qint32> { Add, Modify };
        QTest::newRow("showing twice modifies")
            << Steps { Show, Show } << true << QList<qint32> { Add, Modify };
        QTest::newRow("hiding twice deletes once")
            << Steps { Show, Hide, Hide } << true << QList<qint32> { Add, Delete };
        QTest::newRow("hiding what was never shown calls nothing")
            << Steps { Hide } << true << QList<qint32> {};
        QTest::newRow("properties after removal call nothing")
            << Steps { Show, Hide, SetIcon, SetTip } << true << QList<qint32> { Add, Delete };
        QTest::newRow("showing after removal adds afresh")
            << Steps { Show, Hide, Show } << true << QList<qint32> { Add, Delete, Add };
    }

    void callSequence()
    {
        QFETCH(Steps, steps);
        QFETCH(bool, result);
        QFETCH(QList<qint32>, messages);
        RecordingTrayIconService tray;
        tray.result = result;
        QWidget owner;
        {
            clsTaskTrayIcon icon;
            for (int step : steps) {
                switch (step) {
                case SetHwnd:
                    icon.sethWnd(&owner);
                    break;
                case SetTip:
                    icon.setToolTip(QStringLiteral("タンドレル"));
                    break;
                case SetIcon:
                    icon.setIcon(TrayPictures::Idle());
                    break;
                case Show:
                    icon.setVisible(true);
                    break;
                case Hide:
                    icon.setVisible(false);
                    break;
                }
            }
            QCOMPARE(tray.Messages(), messages);
            QCOMPARE(icon.LastResult(), messages.isEmpty() ? false : result);
            tray.calls.clear();
        }
        // Going away removes an entry that is still shown, and only then.
        const bool shownAtEnd = !steps.isEmpty() && steps.lastIndexOf(Show) > steps.lastIndexOf(Hide);
        QCOMPARE(tray.Messages(), shownAtEnd ? QList<qint32> { Delete } : QList<qint32> {});
    }

    void addCarriesWhatWasSetBefore()
    {
        RecordingTrayIconService tray;
        QWidget owner;
        clsTaskTrayIcon icon;
        icon.sethWnd(&owner);
        icon.setToolTip(QStringLiteral("タンドレル"));
        icon.setVisible(true);
        QCOMPARE(tray.calls.size(), 1);
        const NotifyIconRecord& added = tray.calls.at(0).record;
        QCOMPARE(added.hWnd.data(), &owner);
        QCOMPARE(added.TipText(), QStringLiteral("タンドレル"));
        QVERIFY(added.hIcon.isNull());

        icon.setIcon(TrayPictures::Checking());
        QCOMPARE(tray.calls.size(), 2);
        QVERIFY(!tray.calls.at(1).record.hIcon.isNull());
        QCOMPARE(tray.calls.at(1).record.cbSize, 88u);
    }

    void tipField_data()
    {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("field");

        const QChar nul(0);
        QTest::newRow("ten characters, NUL, 53 spaces")
            << "0123456789" << QStringLiteral("0123456789") + nul + QString(53, QLatin1Char(' '));
        QTest::newRow("program title")
            << "タンドレル" << QStringLiteral("タンドレル") + nul + QString(58, QLatin1Char(' '));
        QTest::newRow("empty tip is a NUL and spaces") << "" << nul + QString(63, QLatin1Char(' '));
        QTest::newRow("63 characters still end with a NUL")
            << QString(63, QLatin1Char('a')) << QString(63, QLatin1Char('a')) + nul;
        QTest::newRow("64 characters fill the field without a NUL")
            << QString(64, QLatin1Char('b')) << QString(64, QLatin1Char('b'));
        QTest::newRow("longer text is cut at 64")
            << QString(70, QLatin1Char('c')) << QString(64, QLatin1Char('c'));
    }

    void tipField()
    {
        QFETCH(QString, tip);
        QFETCH(QString, field);
        RecordingTrayIconService tray;
        clsTaskTrayIcon icon;
        icon.setToolTip(tip);
        QCOMPARE(icon.Record().szTip, field);
        QCOMPARE(icon.Record().TipText(), tip.left(64));
    }

    void tipComposition_data()
    {
        // What is said of the accounts, in order: "tag|title|state".
        QTest::addColumn<QStringList>("mentions");
        QTest::addColumn<QString>("tip");

        QTest::newRow("mail held for a pushed account: the account named once")
            << QStringList { "0|home|新着1件(保留中)", "1|work|ﾌﾟｯｼｭ待機中", "0|home|ﾌﾟｯｼｭ待機中" }
            << "タンドレル\nhome: 新着1件(保留中)、ﾌﾟｯｼｭ待機中\nwork: ﾌﾟｯｼｭ待機中";
        QTest::newRow("offline while mail is held: the reason nothing moves comes first")
            << QStringList { "0|home|新着1件(保留中)", "-1||ﾈｯﾄﾜｰｸ待ち" }
            << "タンドレル\nﾈｯﾄﾜｰｸ待ち\nhome: 新着1件(保留中)";
        QTest::newRow("past 64 characters: the spam line left out whole and counted, no line cut")
            << QStringList { "0|会社のメール|新着2件(保留中)", "0|会社のメール|ｴﾗｰ(接続を拒否されました)",
                   "1|自宅|ｴﾗｰ(ホストが見つかりません)", "2|home|ｽﾊﾟﾑ3件" }
            << "タンドレル\n会社のメール: 新着2件(保留中)、ｴﾗｰ(接続を拒否されました)\n"
               "自宅: ｴﾗｰ(ホストが見つかりません)\n他1件";
        QTest::newRow("a line longer than the tip gives way to the shorter ones after it")
            << QStringList { "0|会社のメール|ｴﾗｰ(The host name did not match any of the valid hosts for "
                             "this certificate)",
                   "1|自宅|ｴﾗｰ(ホストが見つかりません)", "2|home|ｽﾊﾟﾑ3件" }
            << "タンドレル\n自宅: ｴﾗｰ(ホストが見つかりません)\nhome: ｽﾊﾟﾑ3件\n他1件";
    }

    void tipComposition()
    {
        QFETCH(QStringList, mentions);
        QFETCH(QString, tip);
        QList<TrayTip::Mention> said;
        for (const QString& mention : mentions)
            said.append({ mention.section(u'|', 0, 0).toInt(), mention.section(u'|', 1, 1),
                mention.section(u'|', 2) });
        QCOMPARE(TrayTip::Compose(QStringLiteral("タンドレル"), TrayTip::AccountLines(said)), tip);
    }

    void callbackDecoding_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<int>("message");

        QTest::newRow("left click shows the window") << QSystemTrayIcon::Trigger << 513;
        QTest::newRow("right click pops the menu up") << QSystemTrayIcon::Context << 516;
        QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << 515;
    }

    void callbackDecoding()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(int, message);
        QCOMPARE(QtTrayIconService::MessageForActivation(reason), message);

        // The owner may be hidden in the tray when the click comes.
        Owner owner;
        TrayIconService::PostCallback(&owner, message);
        QTRY_COMPARE(owner.decoded.size(), 1);
        QCOMPARE(owner.decoded.at(0), std::optional<qint32>(message));
    }

    void middleClickIsNoMessage()
    {
        QCOMPARE(QtTrayIconService::MessageForActivation(QSystemTrayIcon::MiddleClick), 0);
    }

    void realMouseMoveIsNoCallback()
    {
        Owner owner;
        owner.resize(532, 290);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        // Dragging with the right button across x = 516 of the window itself.
        QMouseEvent move(QEvent::MouseMove, QPointF(516, 10), QPointF(516, 10),
            owner.mapToGlobal(QPointF(516, 10)), Qt::NoButton, Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(&owner, &move);
        QCOMPARE(owner.decoded.size(), 1);
        QCOMPARE(owner.decoded.at(0), std::optional<qint32>());
    }

    void showFormBringsBackAMinimisedHiddenWindow()
    {
        RecordingTrayIconService tray;
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QWidget window;
        window.resize(532, 290);
        window.setWindowState(Qt::WindowMinimized);
        window.hide();

        clsTaskTrayIcon icon;
        icon.ShowForm(window);
        QVERIFY(window.isVisible());
        QVERIFY(!(window.windowState() & Qt::WindowMinimized));
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QVERIFY(tray.calls.isEmpty());
    }

    void showMenuPopsUpWithoutWaiting()
    {
        RecordingTrayIconService tray;
        QWidget window;
        QMenu menu(&window);
        menu.addAction(QStringLiteral("開く(&O)"));
        clsTaskTrayIcon icon;
        icon.ShowMenu(window, menu);
        QTRY_VERIFY(menu.isVisible());
        QVERIFY(!window.isVisible());
        menu.close();
    }

    void picturesHaveTheTraySizesAndDiffer()
    {
        const QIcon idle = TrayPictures::Idle();
        const QIcon checking = TrayPictures::Checking();
        QVERIFY(idle.availableSizes().contains(QSize(16, 16)));
        QVERIFY(idle.availableSizes().contains(QSize(32, 32)));
        QVERIFY(checking.availableSizes().contains(QSize(16, 16)));
        const QImage a = idle.pixmap(16, 16).toImage();
        const QImage b = checking.pixmap(16, 16).toImage();
        QCOMPARE(a.size(), QSize(16, 16));
        QVERIFY(a != b);
        QVERIFY(qAlpha(a.pixel(0, 0)) == 0); // the corners show the panel through
        QVERIFY(qAlpha(a.pixel(8, 8)) == 255);
    }
};

QTEST_MAIN(tst_TaskTrayIcon)
#include "tst_TaskTrayIcon.moc"
