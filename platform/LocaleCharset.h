#pragma once
// The character set of the user's locale (LC_CTYPE), the local code page of this platform.

// Qt
#include <QByteArray>

// As the C library names it: "UTF-8", "GBK", "ANSI_X3.4-1968" for the C locale. Reads the locale
// the application object applied from the environment at start-up.
QByteArray LocaleCharset();
