#include "CodePages.h"

#include <algorithm>

// platform
#include "LocaleCharset.h"

#include "LocalCodePage.h"

namespace {

// By the names the toolkit's converters (ICU behind them) know.
const char *const Named[] = {"UTF-8", "GB18030", "Big5", "Shift_JIS", "EUC-KR", "ISO-8859-1"};
constexpr int NamedCount = int(sizeof Named / sizeof Named[0]);

QByteArray charsetOf(int number)
{
    if (number <= LocalCodePageNumber || number > NamedCount) {
        static const QByteArray local = LocaleCharset();
        return local;
    }
    return QByteArray(Named[number - 1]);
}

// A character is at most four bytes in every code page of the list.
constexpr qsizetype LongestCharacter = 4;

bool plainAscii(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

int CodePageCount()
{
    return 1 + NamedCount;
}

QString CodePageTitle(int number)
{
    if (number <= LocalCodePageNumber || number > NamedCount)
        return QStringLiteral("本地代码页（%1）").arg(QString::fromLatin1(charsetOf(LocalCodePageNumber)));
    return QString::fromLatin1(Named[number - 1]);
}

QString FromCodePageNumber(const QByteArray &bytes, int number)
{
    return FromCodePage(bytes, charsetOf(number));
}

QByteArray ToCodePageNumber(const QString &text, int number)
{
    return ToCodePage(text, charsetOf(number));
}

QByteArray TSplitCharacters::Take(const QByteArray &block, int codePage)
{
    QByteArray bytes = FHeld.isEmpty() ? block : FHeld + block;
    FHeld.clear();
    // A character unfinished at the end has a byte outside ASCII among the last bytes (the
    // second byte of a four-byte GB18030 character is a digit); most reads have none there.
    if (bytes.isEmpty() || plainAscii(bytes.last(std::min(bytes.size(), LongestCharacter - 1))))
        return bytes;
    // The converter, left to wait for more, says what it could finish; when that is all of the
    // read decoded on its own, nothing is unfinished.
    QStringDecoder waiting = WaitingDecoder(charsetOf(codePage));
    const QString finished = waiting.decode(bytes);
    if (finished == FromCodePageNumber(bytes, codePage))
        return bytes;
    // Else the bytes held back are the fewest at the end without which the rest decodes to
    // exactly what the converter finished.
    for (qsizetype held = 1; held < LongestCharacter && held <= bytes.size(); ++held) {
        if (FromCodePageNumber(bytes.first(bytes.size() - held), codePage) == finished) {
            FHeld = bytes.last(held);
            bytes.chop(held);
            break;
        }
    }
    return bytes;
}
