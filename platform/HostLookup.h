#pragma once
// Asynchronous host name lookup, in place of WSAAsyncGetHostByName: the name is resolved on a
// worker thread and the answer comes back on the UI thread, through the event loop, in the
// order the lookups finish. A cancelled lookup never calls back.

#include <cstdint>
#include <functional>

// Qt
#include <QString>

namespace ws {

// error: 0 on success, else a Windows number (WSAHOST_NOT_FOUND, ...);
// netAddr: the first IPv4 address of the answer, in network order.
using LookupDone = std::function<void(int error, uint32_t netAddr)>;

// Returns a handle (> 0) for cancellation.
int WSAAsyncGetHostByName(const QString &name, LookupDone done);
// 0 when the lookup was still pending and is now cancelled; SOCKET_ERROR otherwise.
int WSACancelAsyncRequest(int handle);

} // namespace ws
