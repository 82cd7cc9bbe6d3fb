#include "linedosers.h"

#include <QSettings>

namespace {

const char *const dosersKey = "line/dosers";
const char *const addressKey = "address";
const char *const nameKey = "name";

bool isAddress(int address)
{
    return address >= LineDosers::LowestAddress && address <= LineDosers::HighestAddress;
}

// The stored number of the single doser older installations knew; the default when unusable.
int storedK310Id(QSettings &store)
{
    bool isNumber = false;
    const int id = store.value(LineDosers::K310IdKey).toString().toInt(&isNumber, 10);
    return isNumber && isAddress(id) ? id : LineDoser::DefaultAddress;
}

} // namespace

QString LineDoser::shownName() const
{
    return name.isEmpty() ? QStringLiteral("Дозатор %1").arg(address) : name;
}

bool LineDoser::operator==(const LineDoser &other) const
{
    return address == other.address && name == other.name;
}

QList<LineDoser> LineDosers::load(QSettings &store)
{
    QList<LineDoser> line;
    const int count = store.beginReadArray(dosersKey);
    for (int index = 0; index < count; ++index) {
        store.setArrayIndex(index);
        bool isNumber = false;
        LineDoser doser;
        doser.address = store.value(addressKey).toString().toInt(&isNumber, 10);
        doser.name = store.value(nameKey).toString().left(MostNameCharacters);
        if (isNumber && refusal(line, doser).isEmpty())
            line.append(doser);
    }
    store.endArray();
    if (line.isEmpty())
        line.append(LineDoser {storedK310Id(store), QString()});
    return line;
}

void LineDosers::save(QSettings &store, const QList<LineDoser> &line)
{
    // A shorter line must not leave the entries of a longer one behind.
    store.remove(dosersKey);
    store.beginWriteArray(dosersKey, int(line.size()));
    for (int index = 0; index < line.size(); ++index) {
        store.setArrayIndex(index);
        store.setValue(addressKey, line.at(index).address);
        store.setValue(nameKey, line.at(index).name);
    }
    store.endArray();
    if (!line.isEmpty())
        store.setValue(LineDosers::K310IdKey, line.first().address);
}

QString LineDosers::refusal(const QList<LineDoser> &line, const LineDoser &added)
{
    if (!isAddress(added.address))
        return QStringLiteral("Адрес дозатора должен быть от %1 до %2")
            .arg(LowestAddress)
            .arg(HighestAddress);
    for (const LineDoser &doser : line) {
        if (doser.address == added.address)
            return QStringLiteral("Дозатор с адресом %1 уже есть на линии").arg(added.address);
    }
    if (added.name.size() > MostNameCharacters)
        return QStringLiteral("Имя дозатора должно быть не длиннее %1 знаков")
            .arg(MostNameCharacters);
    return QString();
}

QString LineDosers::removalRefusal(const QList<LineDoser> &line, int position)
{
    if (position < 0 || position >= line.size())
        return QStringLiteral("Выберите дозатор в списке");
    if (line.size() == 1)
        return QStringLiteral("На линии должен остаться хотя бы один дозатор");
    return QString();
}
