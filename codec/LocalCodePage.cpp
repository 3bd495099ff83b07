#include "LocalCodePage.h"

// Qt
#include <QStringDecoder>
#include <QStringEncoder>

// platform
#include "LocaleCharset.h"

namespace {

constexpr auto DecoderFlags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

bool isPlainAscii(const QByteArray &charset)
{
    const QByteArray c = charset.toUpper();
    return c.isEmpty() || c == "ANSI_X3.4-1968" || c == "ASCII" || c == "US-ASCII" || c == "POSIX" || c == "C";
}

const QByteArray &localCharset()
{
    static const QByteArray charset = LocaleCharset();
    return charset;
}

// The named converter; for plain ASCII and names it does not know, Qt's local 8-bit one.
QStringDecoder decoderFor(const QByteArray &charset, QStringConverter::Flags flags, bool *named = nullptr)
{
    if (!isPlainAscii(charset)) {
        QStringDecoder decoder(charset.constData(), flags);
        if (decoder.isValid()) {
            if (named)
                *named = true;
            return decoder;
        }
    }
    return QStringDecoder(QStringConverter::System, flags);
}

} // namespace

QString FromCodePage(const QByteArray &bytes, const QByteArray &charset)
{
    bool named = false;
    QStringDecoder decoder = decoderFor(charset, DecoderFlags, &named);
    if (!named)
        return decoder.decode(bytes);
    // The converter keeps an unfinished character at the end for a next call that never comes,
    // so a lone lead byte would vanish. A line feed is a trail byte in no ASCII-based code page:
    // it forces the lead byte out, then goes again.
    QString text = decoder.decode(bytes + '\n');
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QStringDecoder WaitingDecoder(const QByteArray &charset)
{
    return decoderFor(charset, QStringConverter::Flag::ConvertInitialBom);
}

QByteArray ToCodePage(const QString &text, const QByteArray &charset)
{
    if (!isPlainAscii(charset)) {
        QStringEncoder named(charset.constData(), QStringConverter::Flag::Stateless);
        if (named.isValid())
            return named.encode(text);
    }
    QStringEncoder system(QStringConverter::System, QStringConverter::Flag::Stateless);
    return system.encode(text);
}

QString FromLocalCodePage(const QByteArray &bytes)
{
    return FromCodePage(bytes, localCharset());
}

QByteArray ToLocalCodePage(const QString &text)
{
    return ToCodePage(text, localCharset());
}
