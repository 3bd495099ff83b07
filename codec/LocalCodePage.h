#pragma once
// Bytes as text in the local code page: the character set of the user's locale.

// Qt
#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Decodes every byte: a sequence that does not decode becomes U+FFFD and decoding goes on after
// it; zero bytes stay U+0000; a leading byte order mark is kept as a character.
QString FromLocalCodePage(const QByteArray &bytes);
// The text's bytes in the local code page.
QByteArray ToLocalCodePage(const QString &text);

// The same for a named character set. Plain ASCII (the C locale) and names the converter does
// not know fall back to Qt's local 8-bit encoding, UTF-8.
QString FromCodePage(const QByteArray &bytes, const QByteArray &charset);
QByteArray ToCodePage(const QString &text, const QByteArray &charset);
// A decoder of that character set (with the same fallback) that keeps an unfinished character
// at the end of what it was given for the next call.
QStringDecoder WaitingDecoder(const QByteArray &charset);
