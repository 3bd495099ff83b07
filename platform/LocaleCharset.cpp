#include "LocaleCharset.h"

#include <langinfo.h>

QByteArray LocaleCharset()
{
    return QByteArray(nl_langinfo(CODESET));
}
