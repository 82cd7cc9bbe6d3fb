#include "pindigest.h"

#include <QMessageAuthenticationCode>
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

// RFC 8018, section 5.2, with HMAC-SHA256 as the pseudo-random function.
QByteArray PinDigest::pbkdf2(const QByteArray &password, const QByteArray &salt, int iterations,
                             int length)
{
    QMessageAuthenticationCode hmac(QCryptographicHash::Sha256, password);
    QByteArray key;
    for (quint32 block = 1; key.size() < length; ++block) {
        QByteArray index(4, Qt::Uninitialized);
        index[0] = char(block >> 24);
        index[1] = char(block >> 16);
        index[2] = char(block >> 8);
        index[3] = char(block);
        hmac.reset();
        hmac.addData(salt);
        hmac.addData(index);
        QByteArray u = hmac.result();
        QByteArray t = u;
        for (int round = 1; round < iterations; ++round) {
            hmac.reset();
            hmac.addData(u);
            u = hmac.result();
            for (int i = 0; i < t.size(); ++i)
                t[i] = char(t.at(i) ^ u.at(i));
        }
        key += t;
    }
    return key.left(length);
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
