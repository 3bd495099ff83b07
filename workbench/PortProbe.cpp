#include "PortProbe.h"

// platform
#include "WinSock.h"

bool IsLocalPortTaken(int32_t port)
{
    if (ws::WSAStartup() != 0)
        return true;
    bool taken = true;
    const ws::TSocket s = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    if (s != ws::INVALID_SOCKET) {
        ws::TSockAddrIn addr;
        addr.sin_family = ws::AF_INET_;
        // Without SO_REUSEADDR, so any socket already on the port makes the bind fail.
        addr.sin_port = ws::HostToNet16(static_cast<uint16_t>(port));
        addr.sin_addr = 0;
        taken = ws::bind(s, addr) == ws::SOCKET_ERROR;
        ws::closesocket(s);
    }
    ws::WSACleanup();
    return taken;
}
