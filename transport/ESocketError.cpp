#include "ESocketError.h"

// platform
#include "WinSock.h"

ESocketError ESocketError::WindowsError(int code, const char *api)
{
    // One arg() call: the system text must not be scanned for further place markers.
    return ESocketError(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                            .arg(ws::SysErrorMessage(code), QString::number(code), QLatin1String(api)));
}

ESocketError ESocketError::AsyncError(int code)
{
    return ESocketError(QStringLiteral("Asynchronous socket error %1").arg(code));
}
