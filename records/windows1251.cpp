#include "windows1251.h"

#include <QStringEncoder>

namespace {

constexpr char SubstituteByte = 0x1A;
constexpr char16_t FirstCyrillicCapital = 0x0410;
constexpr char16_t LastCyrillicSmall = 0x044F;
constexpr unsigned char FirstCyrillicByte = 0xC0;
constexpr unsigned char FirstTableByte = 0x80;

// Characters of the bytes 0x80..0xBF; 0xC0..0xFF are the letters А..я in order.
constexpr char16_t UpperHalf[] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

char byteOf(char16_t character)
{
    if (character < FirstTableByte)
        return char(character);
    if (character >= FirstCyrillicCapital && character <= LastCyrillicSmall)
        return char(FirstCyrillicByte + (character - FirstCyrillicCapital));
    for (unsigned i = 0; i < std::size(UpperHalf); ++i) {
        if (UpperHalf[i] == character)
            return char(FirstTableByte + i);
    }
    return SubstituteByte;
}

} // namespace

QByteArray Windows1251::encode(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    if (!encoder.isValid())
        return encodeByTable(text);
    return encoder.encode(text);
}

QByteArray Windows1251::encodeByTable(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar character = text.at(i);
        // A character outside the basic plane is one substitute, not two.
        if (character.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes += character.isSurrogate() ? SubstituteByte : byteOf(character.unicode());
    }
    return bytes;
}
