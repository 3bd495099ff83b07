// The receive handlers of UDP clients and UDP servers, and the component they listen to.

#include "Unit1.h"

#include <memory>

// Qt
#include <QBuffer>

// transport
#include "TNMUDP.h"

// datawindow
#include "datapanel.h"

namespace {

// The datagram of the current event, exactly NumberBytes bytes of it, into the instance's window.
void LogDatagram(TNMUDP *udp, TMySocket *instance, int NumberBytes)
{
    QBuffer stream;
    udp->ReadStream(stream);
    // A fresh stream holds just the datagram: its bytes are shared, not copied.
    const QByteArray bytes = stream.data().left(NumberBytes);
    if (instance->DataWindow)
        instance->DataWindow->LogReceived(bytes);
}

} // namespace

TNMUDP *TForm1::NewUdpComponent(TMySocket *instance, int32_t localPort)
{
    auto udp = std::make_unique<TNMUDP>(this);
    udp->setLocalPort(localPort);
    instance->Socket = udp.get();
    return udp.release();
}

void TForm1::UdpClientDataReceived(TMySocket *instance, int NumberBytes, const QString &, int)
{
    if (NumberBytes == -1)
        return;
    LogDatagram(instance->UdpClient, instance, NumberBytes);
}

void TForm1::UdpServerDataReceived(TMySocket *instance, int NumberBytes, const QString &FromIP, int Port)
{
    if (NumberBytes == -1)
        return;
    TNMUDP *udp = instance->UdpServer;
    LogDatagram(udp, instance, NumberBytes);
    // Answers go to whoever sent last.
    udp->setRemoteHost(FromIP);
    udp->setRemotePort(Port);
    // A flood comes from one sender: the status changes with the sender only.
    if (instance->RemoteHost == FromIP && instance->RemotePort == Port)
        return;
    instance->RemoteHost = FromIP;
    instance->RemotePort = Port;
    RefreshStatus(instance);
}
