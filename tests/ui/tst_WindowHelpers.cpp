#include "FixedScreenMetrics.h"
#include "ui/helpers/API_SetWindowPos.h"
#include "ui/helpers/Fun_FileOperate.h"
#include "ui/helpers/Fun_FormPosition.h"
#include "ui/helpers/Fun_LineWrite3D.h"
#include "ui/helpers/Fun_SelText.h"
#include "ui/helpers/Fun_SystemMetrics.h"
#include "ui/helpers/Fun_TextBoxOperate.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

class tst_WindowHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formPosition_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("code");
        QTest::addColumn<QPoint>("expected");

        const QRect screen(0, 0, 1024, 768);
        const QRect bottomPanel(0, 0, 1024, 728);
        const QRect leftPanel(48, 0, 976, 768);
        const QPoint untouched(123, 45);

        QTest::newRow("code 0 leaves the window alone") << screen << bottomPanel << 96.0 << 0 << untouched;
        QTest::newRow("code 6 leaves the window alone") << screen << bottomPanel << 96.0 << 6 << untouched;
        QTest::newRow("negative code leaves the window alone")
            << screen << bottomPanel << 96.0 << -1 << untouched;
        // (768 - 181) / 2 is 293.5 pixels: the exact division lands between two rows.
        QTest::newRow("centre ignores the panel") << screen << bottomPanel << 96.0 << 1 << QPoint(297, 294);
        QTest::newRow("bottom right sits on a 40 px bottom panel")
            << screen << bottomPanel << 96.0 << 2 << QPoint(594, 547);
        QTest::newRow("top right") << screen << bottomPanel << 96.0 << 3 << QPoint(594, 0);
        QTest::newRow("bottom left sits on a 40 px bottom panel")
            << screen << bottomPanel << 96.0 << 4 << QPoint(0, 547);
        QTest::newRow("top left") << screen << bottomPanel << 96.0 << 5 << QPoint(0, 0);
        QTest::newRow("bottom right with the panel at the left edge")
            << screen << leftPanel << 96.0 << 2 << QPoint(594, 587);
        QTest::newRow("bottom left at 120 DPI with a 40 px bottom panel")
            << screen << bottomPanel << 120.0 << 4 << QPoint(0, 547);
        QTest::newRow("bottom right of a second screen right of the first")
            << QRect(1024, 0, 800, 600) << QRect(1024, 0, 800, 570) << 96.0 << 2 << QPoint(1024 + 370, 389);
    }

    void formPosition()
    {
        QFETCH(QRect, screen);
        QFETCH(QRect, workArea);
        QFETCH(double, dpi);
        QFETCH(int, code);
        QFETCH(QPoint, expected);
        const FixedScreenMetrics metrics(screen, workArea, dpi);

        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.resize(430, 181);
        window.move(123, 45);
        Fun_FormPosition::FormPosition(window, code);
        QCOMPARE(window.pos(), expected);
    }

    void taskbarHeight_data()
    {
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<qint32>("twips");

        QTest::newRow("40 px panel at the bottom at 96 DPI") << QRect(0, 0, 1024, 728) << 96.0 << 600;
        QTest::newRow("panel at the left edge") << QRect(40, 0, 984, 768) << 96.0 << 0;
        QTest::newRow("panel at the top edge") << QRect(0, 30, 1024, 738) << 96.0 << 0;
        QTest::newRow("no panel") << QRect(0, 0, 1024, 768) << 96.0 << 0;
        QTest::newRow("40 px bottom panel at 144 DPI") << QRect(0, 0, 1024, 728) << 144.0 << 400;
        // 1440 / 84 twips per pixel: 3 px is 51.43 twips.
        QTest::newRow("odd DPI rounds to whole twips") << QRect(0, 0, 1024, 765) << 84.0 << 51;
    }

    void taskbarHeight()
    {
        QFETCH(QRect, workArea);
        QFETCH(double, dpi);
        QFETCH(qint32, twips);
        const FixedScreenMetrics metrics(QRect(0, 0, 1024, 768), workArea, dpi);
        QCOMPARE(Fun_SystemMetrics::GetTaskbarHeight(), twips);
    }

    void pixelToTwipUsesTheScreenDpi()
    {
        const FixedScreenMetrics standard(QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768), 96.0);
        QCOMPARE(Fun_SystemMetrics::PixelToTwip(430), 6450.0f);
        const FixedScreenMetrics large(QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768), 192.0);
        QCOMPARE(Fun_SystemMetrics::PixelToTwip(181), 1357.5f);
    }

    void fileTests_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFile");
        QTest::addColumn<bool>("isFolder");

        QTest::newRow("existing WAV file") << "ding.wav" << true << false;
        QTest::newRow("existing folder") << "Wave" << false << true;
        QTest::newRow("folder named with a trailing separator") << "Wave/" << false << true;
        QTest::newRow("missing path") << "nothing.wav" << false << false;
        QTest::newRow("empty sound name names the folder") << "" << false << true;
    }

    void fileTests()
    {
        QFETCH(QString, name);
        QFETCH(bool, isFile);
        QFETCH(bool, isFolder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Wave")));
        QFile file(dir.filePath(QStringLiteral("ding.wav")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        const QString path = dir.path() + QLatin1Char('/') + name;
        QCOMPARE(Fun_FileOperate::IsFileExist(path), isFile);
        QCOMPARE(Fun_FileOperate::IsFolderExist(path), isFolder);
    }

    void killFile_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("left");

        QTest::newRow("one named file") << "a.ini" << QStringList { "Wave", "b.ini", "c.txt" };
        QTest::newRow("wildcard takes every match") << "*.ini" << QStringList { "Wave", "c.txt" };
        QTest::newRow("missing file is no error")
            << "z.ini" << QStringList { "Wave", "a.ini", "b.ini", "c.txt" };
        QTest::newRow("a folder is not deleted")
            << "Wave" << QStringList { "Wave", "a.ini", "b.ini", "c.txt" };
    }

    void killFile()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, left);
        QTemporaryDir dir;
        QDir folder(dir.path());
        QVERIFY(folder.mkdir(QStringLiteral("Wave")));
        for (const char* name : { "a.ini", "b.ini", "c.txt" }) {
            QFile file(folder.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        Fun_FileOperate::KillFile(folder.filePath(pattern));
        QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), left);
    }

    void clearTextBoxesEmptiesOnlyTextBoxes()
    {
        QWidget window;
        auto* edit = new QLineEdit(QStringLiteral("Home"), &window);
        auto* password = new QLineEdit(QStringLiteral("secret"), &window);
        password->setEchoMode(QLineEdit::Password);
        auto* notes = new QPlainTextEdit(QStringLiteral("memo"), &window);
        auto* label = new QLabel(QStringLiteral("USER-TITLE(&R)"), &window);
        auto* list = new QComboBox(&window);
        list->addItems({ QStringLiteral("ding.wav"), QStringLiteral("chime.wav") });
        list->setCurrentIndex(1);

        Fun_TextBoxOperate::ClearTextBoxes(window);
        QCOMPARE(edit->text(), QString());
        QCOMPARE(password->text(), QString());
        QCOMPARE(notes->toPlainText(), QString());
        QCOMPARE(label->text(), QStringLiteral("USER-TITLE(&R)"));
        QCOMPARE(list->currentText(), QStringLiteral("chime.wav"));
    }

    void selTextSelectsTheFocusedBox()
    {
        QWidget window;
        auto* first = new QLineEdit(QStringLiteral("pop.example.jp"), &window);
        auto* second = new QLineEdit(QStringLiteral("110"), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        second->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), second);

        Fun_SelText::SelText();
        QCOMPARE(second->selectedText(), QStringLiteral("110"));
        QVERIFY(!first->hasSelectedText());

        Fun_SelText::SelText(first);
        QCOMPARE(first->selectedText(), QStringLiteral("pop.example.jp"));

        auto* label = new QLabel(QStringLiteral("text"), &window);
        Fun_SelText::SelText(label); // a control without a text box is passed over
    }

    void menuLineIsTwoLinesOnePixelApart()
    {
        QWidget window;
        window.resize(532, 290);
        std::vector<QFrame*> lnMenu { new QFrame(&window) };
        Fun_LineWrite3D::WriteMenuLine3D(lnMenu);

        QCOMPARE(lnMenu.size(), std::size_t(2));
        QCOMPARE(lnMenu[0]->geometry(), QRect(0, 0, 532, 1));
        QCOMPARE(lnMenu[1]->geometry(), QRect(0, 1, 532, 1));
        QCOMPARE(lnMenu[1]->parentWidget(), &window);
        QCOMPARE(lnMenu[1]->frameShape(), QFrame::HLine);
        const QColor dark = lnMenu[0]->palette().color(QPalette::WindowText);
        const QColor light = lnMenu[1]->palette().color(QPalette::WindowText);
        QCOMPARE(dark, QApplication::palette().color(QPalette::Dark));
        QCOMPARE(light, QApplication::palette().color(QPalette::Light));
        QVERIFY(dark != light);
    }

    void lineWrite3DCopies_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QRect>("copy");

        const int line = int(QFrame::VLine);
        const int box = int(QFrame::Box);
        QTest::newRow("vertical line, copy to the right") << line << 0 << QRect(11, 20, 1, 50);
        QTest::newRow("line, copy below") << line << 1 << QRect(10, 21, 1, 50);
        QTest::newRow("line, copy right and below") << line << 2 << QRect(11, 21, 1, 50);
        QTest::newRow("outline, direction 0 moves the copy down") << box << 0 << QRect(10, 21, 1, 50);
        QTest::newRow("outline, direction 1 moves the copy right") << box << 1 << QRect(11, 20, 1, 50);
    }

    void lineWrite3DCopies()
    {
        QFETCH(int, shape);
        QFETCH(int, direction);
        QFETCH(QRect, copy);
        QWidget window;
        window.resize(200, 100);
        std::vector<QFrame*> controls { new QFrame(&window) };
        controls[0]->setFrameShape(QFrame::Shape(shape));
        controls[0]->setGeometry(10, 20, 1, 50);

        Fun_LineWrite3D::LineWrite3D(controls, direction);
        QCOMPARE(controls.size(), std::size_t(2));
        QCOMPARE(controls[1]->geometry(), copy);
        QCOMPARE(controls[0]->geometry(), QRect(10, 20, 1, 50));
    }

    void setTopMostKeepsPlaceAndFocus()
    {
        QWidget worker;
        worker.setWindowTitle(QStringLiteral("editor the user types in"));
        worker.show();
        QVERIFY(QTest::qWaitForWindowActive(&worker));

        QWidget popup(nullptr, Qt::FramelessWindowHint);
        popup.setGeometry(200, 150, 430, 181);
        popup.setAttribute(Qt::WA_ShowWithoutActivating);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        worker.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &worker);

        API_SetWindowPos::SetTopMost(popup, false);
        QVERIFY(popup.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(popup.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        QVERIFY(popup.isVisible());
        QCOMPARE(popup.geometry(), QRect(200, 150, 430, 181));
        QCOMPARE(QApplication::activeWindow(), &worker);

        API_SetWindowPos::SetTopMost(popup, true);
        QTRY_COMPARE(QApplication::activeWindow(), &popup);
    }

    void setTopMostOnAHiddenWindowOnlyMarksIt()
    {
        QWidget popup(nullptr, Qt::FramelessWindowHint);
        API_SetWindowPos::SetTopMost(popup, false);
        QVERIFY(popup.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(popup.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!popup.isVisible());
    }
};

QTEST_MAIN(tst_WindowHelpers)
#include "tst_WindowHelpers.moc"
