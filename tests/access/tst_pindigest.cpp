#include "pindigest.h"

#include <QTest>

class tst_PinDigest : public QObject
{
    Q_OBJECT

private slots:
    void pbkdf2MatchesThePublishedVectors_data();
    void pbkdf2MatchesThePublishedVectors();
    void onlyFourToEightPlainDigitsArePins_data();
    void onlyFourToEightPlainDigitsArePins();
    void digestMatchesItsPinOnlyAndDiffersForTheSamePinTwice();
};

// PBKDF2-HMAC-SHA256 of "password" with the salt "salt", as published with RFC 7914.
void tst_PinDigest::pbkdf2MatchesThePublishedVectors_data()
{
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1") << 1
                       << QByteArray(
                              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    QTest::newRow("4096")
        << 4096 << QByteArray("c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
}

void tst_PinDigest::pbkdf2MatchesThePublishedVectors()
{
    QFETCH(int, iterations);
    QFETCH(QByteArray, expected);
    QCOMPARE(PinDigest::pbkdf2("password", "salt", iterations).toHex(), expected);
}

void tst_PinDigest::onlyFourToEightPlainDigitsArePins_data()
{
    QTest::addColumn<QString>("pin");
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("four") << "0000" << true;
    QTest::newRow("eight") << "12345678" << true;
    QTest::newRow("three") << "123" << false;
    QTest::newRow("nine") << "123456789" << false;
    QTest::newRow("letter") << "12a4" << false;
    QTest::newRow("space") << "123 4" << false;
    // Digits of another script read as numbers by Qt, but no keyboard of the panel has them.
    QTest::newRow("arabic-indic") << QString::fromUtf8("١٢٣٤") << false;
}

void tst_PinDigest::onlyFourToEightPlainDigitsArePins()
{
    QFETCH(QString, pin);
    QFETCH(bool, wellFormed);
    QCOMPARE(PinDigest::isWellFormed(pin), wellFormed);
}

void tst_PinDigest::digestMatchesItsPinOnlyAndDiffersForTheSamePinTwice()
{
    const PinDigest digest = PinDigest::make("2580");
    QVERIFY(digest.isValid() && digest.iterations() >= 100000);
    QVERIFY(digest.matches("2580"));
    QVERIFY(!digest.matches("2581"));
    QVERIFY(!digest.matches("25800"));
    const PinDigest again = PinDigest::make("2580");
    QVERIFY(again.salt() != digest.salt() && again.digest() != digest.digest());

    // A stored digest altered in one byte, wherever it is, is no longer the PIN's.
    for (int at : {0, PinDigest::DigestBytes / 2}) {
        QByteArray altered = digest.digest();
        altered[at] = char(altered.at(at) ^ 0x01);
        QVERIFY(!PinDigest(digest.salt(), digest.iterations(), altered).matches("2580"));
    }
}

QTEST_GUILESS_MAIN(tst_PinDigest)
#include "tst_pindigest.moc"
