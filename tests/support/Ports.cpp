#include "Ports.h"

// transport
#include "TClientSocket.h"
#include "TClientWinSocket.h"
#include "TCustomWinSocket.h"
#include "TNMUDP.h"
#include "TServerSocket.h"
#include "TServerWinSocket.h"
// workbench
#include "TMySocket.h"

namespace testing_support {

int BoundPort(const TMySocket *instance)
{
    if (!instance)
        return 0;
    if (auto *server = qobject_cast<TServerSocket *>(instance->Socket))
        return server->Active() ? server->Socket()->LocalPort() : 0;
    if (auto *udp = qobject_cast<TNMUDP *>(instance->Socket))
        return udp->BoundPort();
    if (auto *client = qobject_cast<TClientSocket *>(instance->Socket))
        return qMax(0, client->Socket()->LocalPort());
    if (auto *connection = qobject_cast<TCustomWinSocket *>(instance->Socket))
        return qMax(0, connection->LocalPort());
    return 0;
}

} // namespace testing_support
