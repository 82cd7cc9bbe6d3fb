#include "linedosers.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class tst_LineDosers : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void withoutAStoredLineTheStoredNumberIsTheOnlyDoser_data();
    void withoutAStoredLineTheStoredNumberIsTheOnlyDoser();
    void savedLineComesBackWithTheFirstAddressAsK310Id();
    void storedEntriesThatCouldNotHaveBeenAddedAreSkipped();

    void additionsAreRefusedWithAReason_data();
    void additionsAreRefusedWithAReason();

private:
    QSettings &store() { return *settings; }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
};

void tst_LineDosers::init()
{
    QVERIFY(dir.isValid());
    settings = std::make_unique<QSettings>(dir.filePath("store.ini"), QSettings::IniFormat);
    settings->clear();
}

void tst_LineDosers::withoutAStoredLineTheStoredNumberIsTheOnlyDoser_data()
{
    QTest::addColumn<QVariant>("k310Id");
    QTest::addColumn<int>("address");
    QTest::newRow("fresh installation") << QVariant() << 30;
    QTest::newRow("older installation") << QVariant(12) << 12;
    QTest::newRow("address 0") << QVariant(0) << 0;
    QTest::newRow("unusable number") << QVariant(200) << 30;
}

void tst_LineDosers::withoutAStoredLineTheStoredNumberIsTheOnlyDoser()
{
    QFETCH(QVariant, k310Id);
    QFETCH(int, address);
    if (k310Id.isValid())
        store().setValue("k310Id", k310Id);
    const QList<LineDoser> line = LineDosers::load(store());
    QCOMPARE(line.size(), 1);
    QCOMPARE(line.first().address, address);
    QVERIFY(line.first().name.isEmpty());
}

void tst_LineDosers::savedLineComesBackWithTheFirstAddressAsK310Id()
{
    const QList<LineDoser> line {{45, "Мука"}, {3, ""}, {127, "Сахар-песок 1234"}};
    LineDosers::save(store(), line);
    QCOMPARE(store().value("k310Id").toInt(), 45);
    QCOMPARE(LineDosers::load(store()), line);

    // A shorter line leaves no entry of the longer one behind.
    LineDosers::save(store(), line.mid(1, 1));
    QCOMPARE(LineDosers::load(store()), line.mid(1, 1));
    QCOMPARE(store().value("k310Id").toInt(), 3);
}

void tst_LineDosers::storedEntriesThatCouldNotHaveBeenAddedAreSkipped()
{
    const QVariantList addresses {5, 6, 5, "восемь", 128};
    store().beginWriteArray("line/dosers");
    for (int index = 0; index < addresses.size(); ++index) {
        store().setArrayIndex(index);
        store().setValue("address", addresses.at(index));
        store().setValue("name", QString(QChar('a' + index)));
    }
    store().endArray();
    const QList<LineDoser> line = LineDosers::load(store());
    QCOMPARE(line, QList<LineDoser>({{5, "a"}, {6, "b"}}));
}

void tst_LineDosers::additionsAreRefusedWithAReason_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("name");
    // The figure the operator needs to put it right; empty when the doser may join.
    QTest::addColumn<QString>("named");
    QTest::newRow("lowest address") << 0 << ""
                                    << "";
    QTest::newRow("highest address") << 127 << ""
                                     << "";
    QTest::newRow("below the range") << -1 << ""
                                     << "127";
    QTest::newRow("above the range") << 128 << ""
                                     << "127";
    QTest::newRow("address on the line") << 12 << "Соль"
                                         << "12";
    QTest::newRow("name at the limit") << 13 << "Сахар-песок 1234"
                                       << "";
    QTest::newRow("name too long") << 13 << "Сахар-песок 12345"
                                   << "16";
}

void tst_LineDosers::additionsAreRefusedWithAReason()
{
    QFETCH(int, address);
    QFETCH(QString, name);
    QFETCH(QString, named);
    const QList<LineDoser> line {{30, ""}, {12, "Мука"}};
    const QString reason = LineDosers::refusal(line, LineDoser {address, name});
    QCOMPARE(reason.isEmpty(), named.isEmpty());
    QVERIFY2(reason.contains(named), qPrintable(reason));
}

QTEST_GUILESS_MAIN(tst_LineDosers)
#include "tst_linedosers.moc"
