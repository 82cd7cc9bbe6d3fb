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
    void digestMatchesItsPinAndNoOther();
    void samePinTwiceGivesDifferentSaltsAndDigests();
    void cheapOrTruncatedDigestIsNotValidAndMatchesNothing();
};

// PBKDF2-HMAC-SHA256 with the password "password" and the salt "salt" (RFC 7914, section 11,
// and the vectors published with it).
void tst_PinDigest::pbkdf2MatchesThePublishedVectors_data()
{
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1") << 1
                       << QByteArray(
                              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    QTest::newRow("2") << 2
                       << QByteArray(
                              "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
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
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letter") << "12a4" << false;
    QTest::newRow("cyrillic") << "12з4" << false;
    QTest::newRow("space") << "123 4" << false;
    QTest::newRow("sign") << "-1234" << false;
    // Digits of another script read as numbers by Qt, but no keyboard of the panel has them.
    QTest::newRow("arabic-indic") << QString::fromUtf8("١٢٣٤") << false;
}

void tst_PinDigest::onlyFourToEightPlainDigitsArePins()
{
    QFETCH(QString, pin);
    QFETCH(bool, wellFormed);
    QCOMPARE(PinDigest::isWellFormed(pin), wellFormed);
}

void tst_PinDigest::digestMatchesItsPinAndNoOther()
{
    const PinDigest digest = PinDigest::make("2580");
    QVERIFY(digest.isValid());
    QVERIFY(digest.iterations() >= 100000);
    QVERIFY(digest.matches("2580"));
    QVERIFY(!digest.matches("2581"));
    QVERIFY(!digest.matches("25800"));
    QVERIFY(!digest.matches("0852"));
    QVERIFY(!digest.digest().contains("2580"));
}

void tst_PinDigest::samePinTwiceGivesDifferentSaltsAndDigests()
{
    const PinDigest first = PinDigest::make("7777");
    const PinDigest second = PinDigest::make("7777");
    QVERIFY(first.salt() != second.salt());
    QVERIFY(first.digest() != second.digest());
    QVERIFY(second.matches("7777"));
}

void tst_PinDigest::cheapOrTruncatedDigestIsNotValidAndMatchesNothing()
{
    const QByteArray salt(PinDigest::SaltBytes, 's');
    const PinDigest cheap(salt, 1, PinDigest::pbkdf2("1234", salt, 1));
    QVERIFY(!cheap.isValid());
    QVERIFY(!cheap.matches("1234"));
    const PinDigest full = PinDigest::make("1234");
    const PinDigest truncated(full.salt(), full.iterations(), full.digest().left(16));
    QVERIFY(!truncated.matches("1234"));
}

QTEST_GUILESS_MAIN(tst_PinDigest)
#include "tst_pindigest.moc"
