#include "HostLookup.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

// Qt
#include <QCoreApplication>
#include <QMetaObject>

#include "MessageSeam.h"
#include "WinSock.h"

namespace ws {

namespace {

struct Pending {
    LookupDone done;
    bool cancelled = false;
};

// Touched only on the UI thread.
std::map<int, std::shared_ptr<Pending>> &pendingLookups()
{
    static std::map<int, std::shared_ptr<Pending>> m;
    return m;
}

std::atomic<int> nextHandle{1};

// A worker may finish after the application object is gone (a lookup still running at exit):
// it posts only while the application lives, under this lock.
std::mutex appMutex;
QObject *liveApp = nullptr;

void forgetApp()
{
    std::lock_guard<std::mutex> lock(appMutex);
    liveApp = nullptr;
}

QObject *watchApp()
{
    std::lock_guard<std::mutex> lock(appMutex);
    QObject *app = QCoreApplication::instance();
    if (app && liveApp != app) {
        liveApp = app;
        qAddPostRoutine(forgetApp);
    }
    return liveApp;
}

int mapGaiError(int rc)
{
    switch (rc) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_ADDRFAMILY: return WSANO_DATA;
    case EAI_AGAIN: return WSATRY_AGAIN;
    default: return WSANO_RECOVERY;
    }
}

// Names under "invalid" never exist (RFC 6761): answered at once, without asking the resolver,
// which would pass them on to the name servers.
bool IsInvalidName(const QString &name)
{
    QString n = name.toLower();
    if (n.endsWith(QLatin1Char('.')))
        n.chop(1);
    return n == QLatin1String("invalid") || n.endsWith(QLatin1String(".invalid"));
}

} // namespace

int WSAAsyncGetHostByName(const QString &name, LookupDone done)
{
    const int handle = nextHandle++;
    auto pending = std::make_shared<Pending>();
    pending->done = std::move(done);
    pendingLookups()[handle] = pending;

    const QByteArray host = name.toLocal8Bit();
    const bool invalid = IsInvalidName(name);
    watchApp();
    std::thread([handle, host, invalid] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *res = nullptr;
        int rc = invalid ? EAI_NONAME : ::getaddrinfo(host.constData(), nullptr, &hints, &res);
        int error = 0;
        uint32_t addr = 0;
        if (rc != 0) {
            error = mapGaiError(rc);
        } else if (!res) {
            error = WSANO_DATA;
        } else {
            addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr.s_addr;
        }
        if (res)
            ::freeaddrinfo(res);
        std::lock_guard<std::mutex> lock(appMutex);
        if (!liveApp)
            return;
        QMetaObject::invokeMethod(
            liveApp,
            [handle, error, addr] {
                auto &m = pendingLookups();
                auto it = m.find(handle);
                if (it == m.end())
                    return;
                auto p = it->second;
                m.erase(it);
                if (!p->cancelled && p->done)
                    ui::RunGuarded([&] { p->done(error, addr); });
            },
            Qt::QueuedConnection);
    }).detach();
    return handle;
}

int WSACancelAsyncRequest(int handle)
{
    auto &m = pendingLookups();
    auto it = m.find(handle);
    if (it == m.end()) {
        WSASetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    it->second->cancelled = true;
    m.erase(it);
    return 0;
}

} // namespace ws
