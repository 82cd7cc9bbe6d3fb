#include "pindigest.h"

#include <QPasswordDigestor>
#include <QRandomGenerator>

#include <algorithm>

bool PinDigest::isWellFormed(const QString &pin)
{
    if (pin.size() < MinimumLength || pin.size() > MaximumLength)
        return false;
    return std::all_of(pin.cbegin(), pin.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

PinDigest PinDigest::make(const QString &pin)
{
    QByteArray salt(SaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return PinDigest(salt, Iterations, pbkdf2(pin.toUtf8(), salt, Iterations));
}

QByteArray PinDigest::pbkdf2(const QByteArray &password, const QByteArray &salt, int iterations,
                             int length)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password, salt,
                                              iterations, quint64(length));
}

PinDigest::PinDigest(const QByteArray &salt, int iterations, const QByteArray &digest)
    : saltBytes(salt)
    , iterationCount(iterations)
    , digestBytes(digest)
{ }

bool PinDigest::isValid() const
{
    return saltBytes.size() >= SaltBytes && iterationCount >= MinimumIterations
           && digestBytes.size() == DigestBytes;
}

bool PinDigest::matches(const QString &pin) const
{
    if (!isValid() || !isWellFormed(pin))
        return false;
    const QByteArray computed = pbkdf2(pin.toUtf8(), saltBytes, iterationCount);
    // Compared in full, so the time taken tells nothing of how much matched.
    char difference = 0;
    for (int i = 0; i < DigestBytes; ++i)
        difference |= char(computed.at(i) ^ digestBytes.at(i));
    return difference == 0;
}
