#include "DesktopMailProgram.h"
#include "platform/DesktopEntries.h"

#include <QTest>

class tst_DesktopEntries : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void splitExec_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("command"); // empty: nothing to start
        QTest::newRow("program with an option")
            << "thunderbird -mail" << QStringList { "thunderbird", "-mail" };
        QTest::newRow("address field code dropped, so no new message")
            << "evolution %U" << QStringList { "evolution" };
        QTest::newRow("every field code dropped, %% kept as %")
            << "claws %f %F %u %i %c %k --rate=5%%" << QStringList { "claws", "--rate=5%" };
        QTest::newRow("quoted path with blanks, runs of blanks")
            << "  \"/opt/My Mail/mail\"   -inbox " << QStringList { "/opt/My Mail/mail", "-inbox" };
        QTest::newRow("escapes inside quotes, an empty quoted argument kept")
            << "sh -c \"echo \\\"\\$HOME\\\" \\`x\\` \\\\\" \"\""
            << QStringList { "sh", "-c", "echo \"$HOME\" `x` \\", "" };
        QTest::newRow("malformed: quote left open") << "mail \"-inbox" << QStringList();
        QTest::newRow("malformed: unknown field code") << "mail %z" << QStringList();
        QTest::newRow("malformed: lone % at the end") << "mail 5%" << QStringList();
        QTest::newRow("only a field code") << "%u" << QStringList();
    }

    void splitExec()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        QCOMPARE(DesktopEntries::SplitExec(exec), command);
    }

    void defaultHandler_data()
    {
        QTest::addColumn<QStringList>("files"); // path in DesktopMailProgram's folders, then its text
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("command");
        const QString mailto = "x-scheme-handler/mailto=";
        const QString entry = "[Desktop Entry]\nType=Application\nExec=";
        QTest::newRow("user's default, entry in the system's folder; CR LF, comment, letter case, empty ids")
            << QStringList { "config/mimeapps.list",
                   "# mine\r\n[Default Applications]\r\nX-Scheme-Handler/Mailto = gone.desktop; "
                   ";m.desktop;\r\n",
                   "usr/applications/m.desktop", entry + "mail\\s-inbox %u" }
            << "m.desktop" << QStringList { "mail", "-inbox" };
        QTest::newRow("malformed: header left open, line without =, so only the added one")
            << QStringList { "config/mimeapps.list",
                   "[Default Applications\n" + mailto
                       + "a.desktop\n[Default Applications]\nmailto\n"
                         "[Added Associations]\n"
                       + mailto + "b.desktop",
                   "usr/applications/a.desktop", entry + "a", "usr/applications/b.desktop", entry + "b" }
            << "b.desktop" << QStringList { "b" };
        QTest::newRow("desktop's own list first, the user's entry hides the system's")
            << QStringList { "etc/xfce-mimeapps.list", "[Default Applications]\n" + mailto + "x.desktop",
                   "usr/applications/mimeapps.list", "[Default Applications]\n" + mailto + "m.desktop",
                   "data/applications/x.desktop", entry + "x\nHidden=true", "usr/applications/x.desktop",
                   entry + "x", "usr/applications/m.desktop", entry + "m" }
            << "m.desktop" << QStringList { "m" };
        QTest::newRow("no default: added association less the removed one")
            << QStringList { "config/mimeapps.list", "[Removed Associations]\n" + mailto + "a.desktop",
                   "etc/mimeapps.list", "[Added Associations]\n" + mailto + "a.desktop;b.desktop",
                   "usr/applications/a.desktop", entry + "a", "usr/applications/b.desktop", entry + "b" }
            << "b.desktop" << QStringList { "b" };
        QTest::newRow("nothing installed")
            << QStringList { "config/mimeapps.list", "[Default Applications]\n" + mailto + "m.desktop" }
            << QString() << QStringList();
    }

    void defaultHandler()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, id);
        QFETCH(QStringList, command);
        DesktopMailProgram desktop;
        for (qsizetype i = 0; i + 1 < files.size(); i += 2)
            QVERIFY(desktop.Write(files[i], files[i + 1]));
        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        const DesktopEntries::Handler handler = DesktopEntries::DefaultHandler("x-scheme-handler/mailto");
        QCOMPARE(handler.desktopId, id);
        QCOMPARE(handler.command, command);
    }
};

QTEST_GUILESS_MAIN(tst_DesktopEntries)

#include "tst_DesktopEntries.moc"
