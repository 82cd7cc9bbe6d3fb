#include "journalseal.h"

#include <QCryptographicHash>

namespace {

// Between fields a character no field the console writes holds, so two rows can never be
// joined into the same bytes by moving text from one field to the next.
constexpr char FieldSeparator = '\x1f';

} // namespace

QString JournalSeal::of(const QString &previous, const Row &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QString fields[] = {previous,     QString::number(row.idEvent),
                              row.date,     row.time,
                              row.kind,     row.butchId,
                              row.deviceId, row.errorCode,
                              row.text};
    for (const QString &field : fields) {
        const QByteArray bytes = field.toUtf8();
        // The length first as well, so no text can imitate a separator.
        hash.addData(QByteArray::number(bytes.size()));
        hash.addData(QByteArray(1, FieldSeparator));
        hash.addData(bytes);
    }
    return QString::fromLatin1(hash.result().toHex());
}
