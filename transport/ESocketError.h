#pragma once
// The error the TCP components raise; it reaches the user through the standard error box.

// platform
#include "Exception.h"

class ESocketError : public Exception {
public:
    using Exception::Exception;

    // "Windows socket error: <system text> (<code>), on API '<api>'"
    static ESocketError WindowsError(int code, const char *api);
    // "Asynchronous socket error <code>": an error that came with a notification.
    static ESocketError AsyncError(int code);
};
