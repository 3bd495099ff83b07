#pragma once
// Hex text: two upper-case digits per byte. The hex block of the log lines, and the hex digits
// typed into the send box read back as bytes.

#include <cstdint>

// Qt
#include <QByteArray>
#include <QString>

// The two digits of a byte, "00" to "FF".
QByteArray ByteToHex(uint8_t value);

// "{", every byte's two digits each followed by one blank, "}"; "{}" for no bytes.
QByteArray HexBlock(const QByteArray &bytes);

// Digits read left to right, a blank counting as 0; "" gives 0. Lower case is accepted.
// Any other character counts as 0 as well, so a pair never fails and never shifts its neighbours.
// Long texts wrap around in 32 bits rather than overflow.
int32_t HexToInt(const QByteArray &text);

// The text read as back-to-back pairs of digits, one byte per pair (low 8 bits of HexToInt);
// an odd last character is dropped. Nothing is skipped: blanks and line breaks take their place
// in the pairs, so "41 42" gives 41 04. The send box's text goes through ReadHexText first.
QByteArray HexToBytes(const QByteArray &text);

// The send box's hex text read as bytes: blanks, tabs and line breaks between digits are skipped,
// and the digits paired in order (an odd last digit is dropped). Any other character refuses the
// whole text: false, with where it is (the first such character, counted in characters from 1, a
// line break one character) and which it is.
struct THexFault {
    qsizetype position = 0;
    char32_t character = 0;
};
bool ReadHexText(const QString &text, QByteArray *bytes, THexFault *fault);

// True for the characters ReadHexText skips.
bool IsHexBlank(char32_t c);

// What the send box tells of a refused hex text.
QString HexFaultText(const THexFault &fault);
