#include "HeldPort.h"

namespace testing_support {

HeldPort::HeldPort(const char *address, int type)
{
    FSocket = ws::socket(ws::AF_INET_, type, 0);
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_addr = ws::inet_addr(address);
    if (FSocket == ws::INVALID_SOCKET || ws::bind(FSocket, a) != 0)
        return;
    ws::TSockAddrIn bound;
    if (ws::getsockname(FSocket, &bound) == 0)
        port = ws::NetToHost16(bound.sin_port);
}

HeldPort::~HeldPort()
{
    Release();
}

void HeldPort::Release()
{
    if (FSocket != ws::INVALID_SOCKET)
        ws::closesocket(FSocket);
    FSocket = ws::INVALID_SOCKET;
}

} // namespace testing_support
