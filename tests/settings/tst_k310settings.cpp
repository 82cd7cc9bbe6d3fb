#include "dialogcheck.h"
#include "k310settings.h"
#include "keyboarddriver.h"
#include "touchsize.h"

#include <QAbstractButton>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString longestErrorText = "Ошибка, ГПУ не пустое (при попытке набора вес отличен от нуля)";

void clearStore()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "KESTA", "K310_Test");
    store.clear();
    store.sync();
}

void writeStoredId(const QVariant &value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "KESTA", "K310_Test");
    store.setValue("k310Id", value);
    store.sync();
}

QVariant storedId()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "KESTA", "K310_Test");
    return store.value("k310Id");
}

void writeStoredLine(const QList<LineDoser> &line)
{
    LineDosers::save(*k310Settings::makeStore(), line);
}

QList<LineDoser> storedLine()
{
    return LineDosers::load(*k310Settings::makeStore());
}

// Answers every message box the dialog shows with its only button and keeps what it said.
struct MessageReader
{
    explicit MessageReader(k310Settings &dialog)
    {
        dialog.setRunBox([this](QMessageBox *box) -> QAbstractButton * {
            const QList<QAbstractButton *> buttons = box->buttons();
            if (box->windowTitle() != "Сообщение" || buttons.size() != 1
                || buttons.first()->text() != "Ok")
                return nullptr;
            messages << box->text();
            return buttons.first();
        });
    }

    QStringList messages;
};

void clickRow(k310Settings &dialog, int row)
{
    QTableWidgetItem *item = dialog.lineTable->item(row, 0);
    QVERIFY(item);
    QTest::mouseClick(dialog.lineTable->viewport(), Qt::LeftButton, {},
                      dialog.lineTable->visualItemRect(item).center());
}

QStringList productNames(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &arguments : spy) {
        if (arguments.at(0).toInt() != 0)
            names << "wrong position " + arguments.at(0).toString();
        names << arguments.at(1).toString();
    }
    return names;
}

} // namespace

class tst_k310Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void formCarriesTheCaptions_data();
    void formCarriesTheCaptions();
    void doserNumbersRunFrom0To127WithIndexEqualToNumber();
    void readOnlyFieldsLookLikeTheWindowAndTakeNoFocus();
    void everyWayOfClosingOnlyHides_data();
    void everyWayOfClosingOnlyHides();

    void firstRunSelectsDoser30();
    void storedZeroEmitsNothing();
    void storedNumberIsSelectedAndEmitted_data();
    void storedNumberIsSelectedAndEmitted();
    void unusableStoredNumberFallsBackTo30WithATraceLine_data();
    void unusableStoredNumberFallsBackTo30WithATraceLine();
    void destructorSavesTheChosenNumberForTheNextRun();
    void choosingAnotherNumberEmitsItTheSameNumberNothing();

    void removingAllProductsEmitsAnEmptyNameOnlyWhenOneWasCurrent();
    void appendingToAnEmptyListEmitsOnlyTheFirstName();
    void productIsSelectedByExactCaseSensitiveName_data();
    void productIsSelectedByExactCaseSensitiveName();
    void reloadingTheListAsTheConsoleDoesEmitsThisSequence_data();
    void reloadingTheListAsTheConsoleDoesEmitsThisSequence();
    void startIndexLeavesNoProductCurrent();
    void disablingTheProductListLeavesNumberAndModesEnabled();

    void modeButtonsEmitOnEveryClick();
    void parametersAndErrorTextAreShownAndCleared();
    void errorTextReplacesTheWholeTextAndShowsMarkupAsItStands();

    void addingThroughTheKeyboardsSavesAndShowsTheNewDoser();
    void refusedChangeIsShownAndLeavesTheLine_data();
    void refusedChangeIsShownAndLeavesTheLine();
    void changeGuardStopsAddingAndRemovingSilently();
    void removingADoserShowsItsNeighbourAndKeepsK310IdTheFirst();
    void selectingARowDescribesThatDoser();
    void choosingANumberRenumbersTheShownDoserUnlessTaken();

    void dialogIsLaidOutUnclippedOnScreen_data();
    void dialogIsLaidOutUnclippedOnScreen();

private:
    QTemporaryDir storeDir;
};

void tst_k310Settings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(storeDir.isValid());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, storeDir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, storeDir.path());
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "KESTA", "K310_Test");
    QVERIFY2(store.fileName().startsWith(storeDir.path()), qPrintable(store.fileName()));
    DialogCheck::useConsoleLook();
}

void tst_k310Settings::init()
{
    clearStore();
}

void tst_k310Settings::formCarriesTheCaptions_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("text");
    QTest::newRow("number") << "label_28"
                            << "Номер дозатора:";
    QTest::newRow("product") << "label_26"
                             << "Тип продукта:";
    QTest::newRow("unit") << "label_24"
                          << "Единица веса:";
    QTest::newRow("upper limit") << "label_27"
                                 << "НПВ:";
    QTest::newRow("number format") << "label_25"
                                   << "Формат числа:";
    QTest::newRow("software version") << "label_17"
                                      << "Версия ПО:";
    QTest::newRow("service info") << "label"
                                  << "Служебная информация";
    QTest::newRow("close button") << "closeButton"
                                  << "Закрыть\nменю";
    QTest::newRow("working mode") << "stopTestMode"
                                  << "Рабочий\nрежим";
    QTest::newRow("simulation mode") << "startTestMode"
                                     << "Режим имитации\nработы контроллера";
}

void tst_k310Settings::formCarriesTheCaptions()
{
    QFETCH(QString, objectName);
    QFETCH(QString, text);
    k310Settings dialog;
    QWidget *widget = dialog.findChild<QWidget *>(objectName);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(dialog.windowTitle(), QString("Параметры К310"));
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!dialog.closeButton->icon().isNull());
    QCOMPARE(dialog.closeButton->iconSize(), QSize(32, 32));
    QVERIFY(dialog.label->alignment() & Qt::AlignHCenter);
}

void tst_k310Settings::doserNumbersRunFrom0To127WithIndexEqualToNumber()
{
    k310Settings dialog;
    QCOMPARE(dialog.k310Id->count(), 128);
    for (int i = 0; i < dialog.k310Id->count(); ++i)
        QCOMPARE(dialog.k310Id->itemText(i), QString::number(i));
    QCOMPARE(dialog.k310Id->currentIndex(), 0);
    QCOMPARE(dialog.productType->count(), 0);
    QCOMPARE(dialog.productType->currentIndex(), -1);
}

void tst_k310Settings::readOnlyFieldsLookLikeTheWindowAndTakeNoFocus()
{
    k310Settings dialog;
    for (QLineEdit *field :
         {dialog.weightScale, dialog.weightNPV, dialog.digitScale, dialog.poVersion}) {
        QVERIFY(field->isReadOnly());
        QVERIFY(!field->hasFrame());
        QCOMPARE(field->focusPolicy(), Qt::NoFocus);
        QCOMPARE(field->alignment() & (Qt::AlignRight | Qt::AlignVCenter),
                 Qt::AlignRight | Qt::AlignVCenter);
        QVERIFY(field->text().isEmpty());
        const QPalette palette = field->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(palette.brush(group, QPalette::Base), palette.brush(group, QPalette::Window));
    }
    QCOMPARE(dialog.k310Info->focusPolicy(), Qt::NoFocus);
    QCOMPARE(dialog.stopTestMode->focusPolicy(), Qt::NoFocus);
    QCOMPARE(dialog.startTestMode->focusPolicy(), Qt::NoFocus);
    QVERIFY(dialog.k310Info->toPlainText().isEmpty());
}

void tst_k310Settings::everyWayOfClosingOnlyHides_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("close button") << "button";
    QTest::newRow("window close control") << "close";
    QTest::newRow("Escape key") << "escape";
}

void tst_k310Settings::everyWayOfClosingOnlyHides()
{
    QFETCH(QString, way);
    QPointer<k310Settings> dialog = new k310Settings;
    dialog->addProductType("Мука");
    dialog->k310Id->setCurrentIndex(12);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    if (way == "button")
        QTest::mouseClick(dialog->closeButton, Qt::LeftButton);
    else if (way == "close")
        dialog->close();
    else
        QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    QCOMPARE(dialog->k310Id->currentIndex(), 12);
    QCOMPARE(dialog->productType->currentText(), QString("Мука"));
    delete dialog;
}

void tst_k310Settings::firstRunSelectsDoser30()
{
    k310Settings dialog;
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    dialog.restoreK310Id();
    QCOMPARE(ids.count(), 1);
    QCOMPARE(ids.at(0).at(0).toInt(), 30);
    QCOMPARE(dialog.k310Id->currentText(), QString("30"));
}

void tst_k310Settings::storedZeroEmitsNothing()
{
    writeStoredId(0);
    k310Settings dialog;
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    dialog.restoreK310Id();
    QCOMPARE(ids.count(), 0);
    QCOMPARE(dialog.k310Id->currentIndex(), 0);
}

void tst_k310Settings::storedNumberIsSelectedAndEmitted_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("id");
    QTest::newRow("7") << QVariant(7) << 7;
    QTest::newRow("30 stored as text") << QVariant("30") << 30;
    QTest::newRow("highest, 127") << QVariant(127) << 127;
}

void tst_k310Settings::storedNumberIsSelectedAndEmitted()
{
    QFETCH(QVariant, stored);
    QFETCH(int, id);
    writeStoredId(stored);
    k310Settings dialog;
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    dialog.restoreK310Id();
    QCOMPARE(ids.count(), 1);
    QCOMPARE(ids.at(0).at(0).toInt(), id);
    QCOMPARE(dialog.k310Id->currentIndex(), id);
}

void tst_k310Settings::unusableStoredNumberFallsBackTo30WithATraceLine_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("above the range") << QVariant(128);
    QTest::newRow("negative") << QVariant(-1);
    QTest::newRow("far out") << QVariant(100000);
    QTest::newRow("not a number") << QVariant("abc");
    QTest::newRow("empty text") << QVariant("");
    QTest::newRow("fraction") << QVariant("7.5");
    QTest::newRow("number with a tail") << QVariant("12ab");
}

void tst_k310Settings::unusableStoredNumberFallsBackTo30WithATraceLine()
{
    QFETCH(QVariant, stored);
    writeStoredId(stored);
    k310Settings dialog;
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    QLoggingCategory::setFilterRules(QStringLiteral("k310.settings=true"));
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression("^stored k310Id \""
                                            + QRegularExpression::escape(stored.toString())
                                            + "\" is not a doser number 0\\.\\.127, "
                                              "doser number 30 is used$"));
    dialog.restoreK310Id();
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(ids.count(), 1);
    QCOMPARE(ids.at(0).at(0).toInt(), 30);
    QCOMPARE(dialog.k310Id->currentIndex(), 30);
}

void tst_k310Settings::destructorSavesTheChosenNumberForTheNextRun()
{
    auto *dialog = new k310Settings;
    dialog->restoreK310Id();
    dialog->k310Id->setCurrentIndex(45);
    QVERIFY(!storedId().isValid());
    QTest::ignoreMessage(QtDebugMsg, "~k310Settings()");
    delete dialog;
    QCOMPARE(storedId().toInt(), 45);

    k310Settings nextRun;
    QSignalSpy ids(&nextRun, &k310Settings::k310IdChanged);
    nextRun.restoreK310Id();
    QCOMPARE(ids.count(), 1);
    QCOMPARE(ids.at(0).at(0).toInt(), 45);
}

void tst_k310Settings::choosingAnotherNumberEmitsItTheSameNumberNothing()
{
    k310Settings dialog;
    dialog.restoreK310Id();
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    dialog.k310Id->setCurrentIndex(30);
    QCOMPARE(ids.count(), 0);
    dialog.k310Id->setCurrentIndex(31);
    dialog.k310Id->setCurrentIndex(0);
    QCOMPARE(ids.count(), 2);
    QCOMPARE(ids.at(0).at(0).toInt(), 31);
    QCOMPARE(ids.at(1).at(0).toInt(), 0);
}

void tst_k310Settings::removingAllProductsEmitsAnEmptyNameOnlyWhenOneWasCurrent()
{
    k310Settings dialog;
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);
    dialog.dellAllProductTypes();
    QCOMPARE(products.count(), 0);

    dialog.addProductType("Мука");
    dialog.addProductType("Сахар");
    products.clear();
    dialog.dellAllProductTypes();
    QCOMPARE(productNames(products), QStringList {""});
    QCOMPARE(dialog.productType->count(), 0);
    QCOMPARE(dialog.productType->currentIndex(), -1);
}

void tst_k310Settings::appendingToAnEmptyListEmitsOnlyTheFirstName()
{
    k310Settings dialog;
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);
    dialog.addProductType("Мука");
    dialog.addProductType("Сахар");
    dialog.addProductType("Соль");
    QCOMPARE(productNames(products), QStringList {"Мука"});
    QCOMPARE(dialog.productType->count(), 3);
    QCOMPARE(dialog.productType->currentText(), QString("Мука"));
}

void tst_k310Settings::productIsSelectedByExactCaseSensitiveName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("emitted");
    QTest::newRow("another product") << "Сахар" << 1 << QStringList {"Сахар"};
    QTest::newRow("the current one") << "Мука" << 0 << QStringList {};
    QTest::newRow("other case") << "сахар" << -1 << QStringList {""};
    QTest::newRow("prefix only") << "Саха" << -1 << QStringList {""};
    QTest::newRow("trailing blank") << "Сахар " << -1 << QStringList {""};
    QTest::newRow("empty name") << "" << -1 << QStringList {""};
    QTest::newRow("longer name present") << "Сахар-песок" << 2 << QStringList {"Сахар-песок"};
}

void tst_k310Settings::productIsSelectedByExactCaseSensitiveName()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QStringList, emitted);
    k310Settings dialog;
    for (const char *product : {"Мука", "Сахар", "Сахар-песок"})
        dialog.addProductType(product);
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);
    dialog.setCurrentProductType(name);
    QCOMPARE(dialog.productType->currentIndex(), index);
    QCOMPARE(productNames(products), emitted);
}

void tst_k310Settings::reloadingTheListAsTheConsoleDoesEmitsThisSequence_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("emitted");
    const QStringList products {"Мука", "Сахар"};
    QTest::newRow("remembered name in second place")
        << products << "Сахар" << products << QStringList {"", "Мука", "Сахар"};
    QTest::newRow("remembered name in first place")
        << products << "Мука" << products << QStringList {"", "Мука"};
    QTest::newRow("remembered name removed")
        << products << "Сахар" << QStringList {"Мука"} << QStringList {"", "Мука", ""};
    QTest::newRow("table emptied") << products << "Сахар" << QStringList {} << QStringList {""};
    QTest::newRow("table empty before and after")
        << QStringList {} << "Сахар" << QStringList {} << QStringList {};
}

void tst_k310Settings::reloadingTheListAsTheConsoleDoesEmitsThisSequence()
{
    QFETCH(QStringList, before);
    QFETCH(QString, remembered);
    QFETCH(QStringList, after);
    QFETCH(QStringList, emitted);
    k310Settings dialog;
    for (const QString &product : before)
        dialog.addProductType(product);
    dialog.setCurrentProductType(remembered);
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);

    dialog.dellAllProductTypes();
    for (const QString &product : after)
        dialog.addProductType(product);
    dialog.setCurrentProductType(remembered);

    QCOMPARE(productNames(products), emitted);
}

void tst_k310Settings::startIndexLeavesNoProductCurrent()
{
    k310Settings dialog;
    dialog.addProductType("Мука");
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);
    dialog.setStartIndex();
    QCOMPARE(dialog.productType->currentIndex(), -1);
    QCOMPARE(productNames(products), QStringList {""});
    dialog.addProductType("Сахар");
    QCOMPARE(dialog.productType->currentIndex(), -1);
    QCOMPARE(products.count(), 1);

    dialog.setCurrentProductType("Сахар");
    dialog.dellAllProductTypes();
    products.clear();
    dialog.setStartIndex();
    dialog.setStartIndex();
    QCOMPARE(products.count(), 0);
}

void tst_k310Settings::disablingTheProductListLeavesNumberAndModesEnabled()
{
    k310Settings dialog;
    dialog.disableProductType(true);
    QVERIFY(!dialog.productType->isEnabled());
    QVERIFY(dialog.k310Id->isEnabled());
    QVERIFY(dialog.stopTestMode->isEnabled());
    QVERIFY(dialog.startTestMode->isEnabled());
    dialog.disableProductType(false);
    QVERIFY(dialog.productType->isEnabled());
}

void tst_k310Settings::modeButtonsEmitOnEveryClick()
{
    k310Settings dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy stops(&dialog, &k310Settings::stopTestModeClicked);
    QSignalSpy starts(&dialog, &k310Settings::startTestModeClicked);
    QTest::mouseClick(dialog.stopTestMode, Qt::LeftButton);
    QTest::mouseClick(dialog.stopTestMode, Qt::LeftButton);
    QCOMPARE(stops.count(), 2);
    QCOMPARE(starts.count(), 0);
    QTest::mouseClick(dialog.startTestMode, Qt::LeftButton);
    QCOMPARE(starts.count(), 1);
    QCOMPARE(stops.count(), 2);
    QVERIFY(dialog.isVisible());
}

void tst_k310Settings::parametersAndErrorTextAreShownAndCleared()
{
    k310Settings dialog;
    dialog.setWeightScale("кг");
    dialog.setWeightNPV("50.00");
    dialog.setDigitScale("0.01");
    dialog.setPOVersion("112");
    dialog.setErrorMessage(longestErrorText);
    QCOMPARE(dialog.weightScale->text(), QString("кг"));
    QCOMPARE(dialog.weightNPV->text(), QString("50.00"));
    QCOMPARE(dialog.digitScale->text(), QString("0.01"));
    QCOMPARE(dialog.poVersion->text(), QString("112"));
    QCOMPARE(dialog.k310Info->toPlainText(), longestErrorText);

    dialog.clearErrorMessage();
    QVERIFY(dialog.k310Info->toPlainText().isEmpty());
    QCOMPARE(dialog.weightScale->text(), QString("кг"));

    dialog.setErrorMessage(longestErrorText);
    dialog.setLinkCounters(120000, 119990, 7, 3);
    dialog.clearInfo();
    for (QLineEdit *field :
         {dialog.weightScale, dialog.weightNPV, dialog.digitScale, dialog.poVersion})
        QVERIFY(field->text().isEmpty());
    QVERIFY(dialog.k310Info->toPlainText().isEmpty());
    // The link's counters belong to the link, not to the doser's parameters.
    QStringList numbers;
    QRegularExpressionMatchIterator found =
        QRegularExpression("\\d+").globalMatch(dialog.linkCounters->text());
    while (found.hasNext())
        numbers << found.next().captured();
    QCOMPARE(numbers, QStringList({"120000", "119990", "7", "3"}));
}

void tst_k310Settings::errorTextReplacesTheWholeTextAndShowsMarkupAsItStands()
{
    k310Settings dialog;
    dialog.setErrorMessage("Ошибка, Низкое давление");
    dialog.setErrorMessage("Ошибка, нет подачи продукта");
    QCOMPARE(dialog.k310Info->toPlainText(), QString("Ошибка, нет подачи продукта"));
    dialog.setErrorMessage("<b>1 < 2</b>");
    QCOMPARE(dialog.k310Info->toPlainText(), QString("<b>1 < 2</b>"));
}

void tst_k310Settings::addingThroughTheKeyboardsSavesAndShowsTheNewDoser()
{
    k310Settings dialog;
    dialog.restoreK310Id();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy lines(&dialog, &k310Settings::lineChanged);
    QSignalSpy shown(&dialog, &k310Settings::currentDoserChanged);
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);

    QTest::mouseClick(dialog.newAddress, Qt::LeftButton);
    QVERIFY(KeyboardDriver::type("12"));
    QVERIFY(KeyboardDriver::press("Enter"));
    QTest::mouseClick(dialog.newName, Qt::LeftButton);
    QVERIFY(KeyboardDriver::type("соль"));
    QVERIFY(KeyboardDriver::press("Enter"));
    QTest::mouseClick(dialog.addDoserButton, Qt::LeftButton);

    const QList<LineDoser> expected {{30, ""}, {12, "соль"}};
    QCOMPARE(lines.count(), 1);
    QCOMPARE(lines.at(0).at(0).value<QList<LineDoser>>(), expected);
    QCOMPARE(storedLine(), expected);
    QCOMPARE(dialog.currentDeviceIndex(), 1);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), 1);
    QCOMPARE(dialog.k310Id->currentIndex(), 12);
    // Showing another doser changes no address.
    QCOMPARE(ids.count(), 0);
}

void tst_k310Settings::refusedChangeIsShownAndLeavesTheLine_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("guardSays");
    QTest::addColumn<int>("dosers");
    QTest::newRow("address on the line") << true << "30"
                                         << "" << 2;
    QTest::newRow("no address") << true << ""
                                << "" << 2;
    QTest::newRow("last doser removed") << false << ""
                                        << "" << 1;
    QTest::newRow("open task on the doser") << false << ""
                                            << "На дозаторе открыто задание" << 2;
}

void tst_k310Settings::refusedChangeIsShownAndLeavesTheLine()
{
    QFETCH(bool, adding);
    QFETCH(QString, address);
    QFETCH(QString, guardSays);
    QFETCH(int, dosers);
    writeStoredLine(QList<LineDoser>({{30, ""}, {12, ""}}).mid(0, dosers));
    k310Settings dialog;
    MessageReader reader(dialog);
    dialog.setRemovalGuard([&guardSays](int position) { return position == 1 ? guardSays : ""; });
    dialog.setCurrentDeviceIndex(dosers - 1);
    QSignalSpy lines(&dialog, &k310Settings::lineChanged);
    dialog.newAddress->setText(address);
    (adding ? dialog.addDoserButton : dialog.removeDoserButton)->click();
    QCOMPARE(reader.messages.size(), 1);
    if (!guardSays.isEmpty())
        QCOMPARE(reader.messages.first(), guardSays);
    QCOMPARE(lines.count(), 0);
    QCOMPARE(dialog.lineDosers().size(), dosers);
}

void tst_k310Settings::changeGuardStopsAddingAndRemovingSilently()
{
    writeStoredLine({{30, ""}, {12, ""}});
    k310Settings dialog;
    MessageReader reader(dialog);
    int asked = 0;
    dialog.setChangeGuard([&asked] { return ++asked < 0; });
    QSignalSpy lines(&dialog, &k310Settings::lineChanged);
    dialog.newAddress->setText("5");
    dialog.addDoserButton->click();
    dialog.removeDoserButton->click();
    QCOMPARE(asked, 2);
    QCOMPARE(lines.count(), 0);
    QVERIFY(reader.messages.isEmpty());
}

void tst_k310Settings::removingADoserShowsItsNeighbourAndKeepsK310IdTheFirst()
{
    writeStoredLine({{30, ""}, {12, ""}, {40, ""}});
    k310Settings dialog;
    dialog.setCurrentDeviceIndex(1);
    QSignalSpy shown(&dialog, &k310Settings::currentDoserChanged);
    dialog.removeDoserButton->click();
    QCOMPARE(dialog.currentDeviceIndex(), 1);
    QCOMPARE(dialog.k310Id->currentIndex(), 40);
    QCOMPARE(shown.count(), 1);

    dialog.setCurrentDeviceIndex(0);
    dialog.removeDoserButton->click();
    QCOMPARE(storedLine(), QList<LineDoser>({{40, ""}}));
    QCOMPARE(storedId().toInt(), 40);
}

void tst_k310Settings::selectingARowDescribesThatDoser()
{
    writeStoredLine({{30, ""}, {12, "Мука"}});
    k310Settings dialog;
    dialog.restoreK310Id();
    dialog.addProductType("Мука");
    dialog.addProductType("Сахар");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.lineTable->rowHeight(1) >= TouchSize::minimumPixels(dialog.screen()));
    QSignalSpy shown(&dialog, &k310Settings::currentDoserChanged);
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    QSignalSpy products(&dialog, &k310Settings::k310ProductChanged);
    dialog.setPOVersion("112");

    clickRow(dialog, 1);
    QCOMPARE(dialog.currentDeviceIndex(), 1);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), 1);
    QCOMPARE(dialog.k310Id->currentIndex(), 12);
    QCOMPARE(ids.count(), 0);
    // What was shown belonged to the other doser.
    QVERIFY(dialog.poVersion->text().isEmpty());
    dialog.setCurrentProductType("Сахар");
    QCOMPARE(products.count(), 1);
    QCOMPARE(products.at(0).at(0).toInt(), 1);
}

void tst_k310Settings::choosingANumberRenumbersTheShownDoserUnlessTaken()
{
    writeStoredLine({{30, ""}, {12, ""}});
    k310Settings dialog;
    MessageReader reader(dialog);
    dialog.setCurrentDeviceIndex(1);
    QSignalSpy ids(&dialog, &k310Settings::k310IdChanged);
    dialog.k310Id->setCurrentIndex(13);
    QCOMPARE(dialog.lineDosers().at(1).address, 13);
    QCOMPARE(dialog.lineTable->item(1, 0)->text(), QString("13"));

    dialog.k310Id->setCurrentIndex(30);
    QCOMPARE(reader.messages.size(), 1);
    QCOMPARE(dialog.k310Id->currentIndex(), 13);
    QCOMPARE(dialog.lineDosers().at(1).address, 13);
    QCOMPARE(ids.count(), 1);
}

void tst_k310Settings::dialogIsLaidOutUnclippedOnScreen_data()
{
    QTest::addColumn<bool>("filled");
    QTest::newRow("empty") << false;
    QTest::newRow("filled") << true;
}

void tst_k310Settings::dialogIsLaidOutUnclippedOnScreen()
{
    QFETCH(bool, filled);
    k310Settings dialog;
    dialog.restoreK310Id();
    // The console centres the dialog by the size it has before it is shown.
    const QSize built = dialog.size();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), built);
    if (filled) {
        for (const char *product : {"Мука пшеничная высшего сорта", "Сахар", "Соль"})
            dialog.addProductType(product);
        dialog.setWeightScale("кг");
        dialog.setWeightNPV("50.00");
        dialog.setDigitScale("0.01");
        dialog.setPOVersion("112");
        dialog.setErrorMessage(longestErrorText);
        QCoreApplication::processEvents();
    }
    QCOMPARE(dialog.size(), built);
    QCOMPARE(DialogCheck::layoutFault(&dialog), QString());
    // The panel is 1024 by 768, and the window's frame takes some of it.
    QVERIFY2(dialog.frameGeometry().width() <= 1024 && dialog.frameGeometry().height() <= 740,
             qPrintable(QStringLiteral("%1x%2").arg(dialog.width()).arg(dialog.height())));
    const QString path = DialogCheck::saveScreenshot(
        &dialog, filled ? QString("k310Settings-filled") : QString("k310Settings-empty"));
    QVERIFY2(!path.isEmpty(), "screenshot not written");
    qInfo("screenshot: %s", qPrintable(path));
}

QTEST_MAIN(tst_k310Settings)
#include "tst_k310settings.moc"
