#include "journalseal.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

namespace {

// Between fields a character no field the console writes holds, so two rows can never be
// joined into the same bytes by moving text from one field to the next.
constexpr char FieldSeparator = '\x1f';

template<typename Digest>
void addFields(Digest &digest, const QString &previous, const JournalSeal::Row &row)
{
    const QString fields[] = {previous,     QString::number(row.idEvent),
                              row.date,     row.time,
                              row.kind,     row.butchId,
                              row.deviceId, row.errorCode,
                              row.text};
    for (const QString &field : fields) {
        const QByteArray bytes = field.toUtf8();
        // The length first as well, so no text can imitate a separator.
        digest.addData(QByteArray::number(bytes.size()));
        digest.addData(QByteArray(1, FieldSeparator));
        digest.addData(bytes);
    }
}

} // namespace

QString JournalSeal::keyed(const QByteArray &key, const QString &previous, const Row &row)
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, key);
    addFields(code, previous, row);
    return QString::fromLatin1(KeyedPrefix) + QString::fromLatin1(code.result().toHex());
}

QString JournalSeal::unkeyed(const QString &previous, const Row &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addFields(hash, previous, row);
    return QString::fromLatin1(hash.result().toHex());
}

bool JournalSeal::isKeyed(const QString &seal)
{
    return seal.startsWith(QLatin1String(KeyedPrefix));
}
