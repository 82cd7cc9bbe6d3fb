#ifndef PINDIGEST_H
#define PINDIGEST_H

#include <QByteArray>
#include <QString>

// What is kept of a PIN: a random salt, the iteration count and the PBKDF2-HMAC-SHA256 digest,
// never the PIN itself. A short PIN is cheap to guess from a stolen digest, so the iterations
// make each guess cost; the console's lockout guards the panel itself.
class PinDigest
{
public:
    static constexpr int MinimumLength = 4;
    static constexpr int MaximumLength = 8;
    static constexpr int Iterations = 120000;
    // Fewer are refused when read back: a stored digest must not be made cheap to guess.
    static constexpr int MinimumIterations = 100000;
    static constexpr int SaltBytes = 16;
    static constexpr int DigestBytes = 32;

    // 4 to 8 digits 0-9, nothing else.
    static bool isWellFormed(const QString &pin);
    // A digest of the PIN with a fresh random salt.
    static PinDigest make(const QString &pin);
    static QByteArray pbkdf2(const QByteArray &password, const QByteArray &salt, int iterations,
                             int length = DigestBytes);

    PinDigest() = default;
    PinDigest(const QByteArray &salt, int iterations, const QByteArray &digest);

    // False for a digest read back with a salt, count or length the console never writes.
    bool isValid() const;
    bool matches(const QString &pin) const;

    QByteArray salt() const { return saltBytes; }
    int iterations() const { return iterationCount; }
    QByteArray digest() const { return digestBytes; }

private:
    QByteArray saltBytes;
    int iterationCount = 0;
    QByteArray digestBytes;
};

#endif // PINDIGEST_H
