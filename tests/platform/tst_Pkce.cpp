#include "platform/Pkce.h"

#include <QTest>

// The challenge a provider compares with the verifier at the token endpoint:
// one wrong character and every sign-in is refused.
class tst_Pkce : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void s256Challenge_data()
    {
        QTest::addColumn<QByteArray>("verifier");
        QTest::addColumn<QByteArray>("challenge");
        QTest::newRow("RFC 7636 appendix B") << QByteArray("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")
                                             << QByteArray("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    }

    void s256Challenge()
    {
        QFETCH(QByteArray, verifier);
        QFETCH(QByteArray, challenge);
        QCOMPARE(Pkce::S256Challenge(verifier), challenge);
    }
};

QTEST_GUILESS_MAIN(tst_Pkce)
#include "tst_Pkce.moc"
