#include "cycletrace.h"

#include <cmath>

namespace {

// Decimals beyond these are no weights a doser reports.
constexpr int MostDecimals = 6;

double unitOf(quint8 decimals)
{
    return std::pow(10.0, qMin<int>(decimals, MostDecimals));
}

void putVarint(QByteArray &out, qint64 value)
{
    // Zigzag: small magnitudes of either sign take few bytes.
    quint64 bits = (quint64(value) << 1) ^ quint64(value >> 63);
    while (bits >= 0x80) {
        out.append(char((bits & 0x7f) | 0x80));
        bits >>= 7;
    }
    out.append(char(bits));
}

bool takeVarint(const QByteArray &in, int &at, qint64 &value)
{
    quint64 bits = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at >= in.size())
            return false;
        const auto byte = quint8(in.at(at++));
        bits |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            value = qint64(bits >> 1) ^ -qint64(bits & 1);
            return true;
        }
    }
    return false;
}

} // namespace

QByteArray CycleTrace::packSamples(const QList<TrendSample> &samples, quint8 decimals)
{
    const double unit = unitOf(decimals);
    QByteArray out;
    out.reserve(samples.size() * 3);
    qint64 ms = 0;
    qint64 counts = 0;
    for (const TrendSample &sample : samples) {
        const qint64 now = std::llround(sample.weight * unit);
        putVarint(out, sample.ms - ms);
        putVarint(out, now - counts);
        ms = sample.ms;
        counts = now;
    }
    return out;
}

QList<TrendSample> CycleTrace::unpackSamples(const QByteArray &packed, quint8 decimals)
{
    const double unit = unitOf(decimals);
    QList<TrendSample> samples;
    qint64 ms = 0;
    qint64 counts = 0;
    int at = 0;
    while (at < packed.size()) {
        qint64 dms = 0;
        qint64 dcounts = 0;
        if (!takeVarint(packed, at, dms) || !takeVarint(packed, at, dcounts))
            return {};
        ms += dms;
        counts += dcounts;
        samples.append({ms, double(counts) / unit});
    }
    return samples;
}
