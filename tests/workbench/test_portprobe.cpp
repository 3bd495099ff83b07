// The free-port check of the UDP dialogs, against ports really held by this process, by
// another program, and by TCP.

#include <gtest/gtest.h>

// Qt
#include <QDir>
#include <QProcess>

#include "PortProbe.h"
#include "HeldPort.h"
#include "PrivateNetwork.h"
#include "WinSock.h"

namespace {

using testing_support::HeldPort;

int openDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

} // namespace

TEST(PortProbe, PortHeldOnAnyAddressIsTakenAndFreeAgainOnceReleased)
{
    // Free again once released: only where no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    for (const char *address : {"127.0.0.1", "0.0.0.0"}) {
        SCOPED_TRACE(address);
        HeldPort held(address);
        ASSERT_NE(held.port, 0);
        EXPECT_TRUE(IsLocalPortTaken(held.port));
        held.Release();
        EXPECT_FALSE(IsLocalPortTaken(held.port));
    }
}

TEST(PortProbe, OnlyTheLow16BitsOfThePortCount)
{
    HeldPort held("127.0.0.1");
    ASSERT_NE(held.port, 0);
    for (int32_t port : {held.port + 65536, held.port + 5 * 65536, held.port - 65536})
        EXPECT_TRUE(IsLocalPortTaken(port)) << port;
}

TEST(PortProbe, TcpOnTheSamePortDoesNotTakeTheUdpPort)
{
    // The UDP port must be free: no other test may bind it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    HeldPort tcp("0.0.0.0", ws::SOCK_STREAM_);
    ASSERT_NE(tcp.port, 0);
    EXPECT_FALSE(IsLocalPortTaken(tcp.port));
}

TEST(PortProbe, PortHeldByAnotherProgramIsTaken)
{
    // Free again once the other program ends: only where no other test may take it meanwhile.
    VELMORA_IN_PRIVATE_NETWORK();
    QProcess peer;
    peer.start(QStringLiteral("python3"),
               {QStringLiteral("-c"), QStringLiteral("import socket,sys\n"
                                                     "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                                                     "s.bind(('127.0.0.1',0))\n"
                                                     "print(s.getsockname()[1],flush=True)\n"
                                                     "sys.stdin.read()\n")});
    // Bounds for a loaded machine, where an interpreter may take seconds to start.
    ASSERT_TRUE(peer.waitForStarted(30000)) << "python3 is needed";
    ASSERT_TRUE(peer.waitForReadyRead(30000));
    const int32_t port = peer.readLine().trimmed().toInt();
    ASSERT_NE(port, 0);
    EXPECT_TRUE(IsLocalPortTaken(port));
    peer.closeWriteChannel();
    ASSERT_TRUE(peer.waitForFinished(30000));
    EXPECT_FALSE(IsLocalPortTaken(port));
}

TEST(PortProbe, ProbingLeavesNoSocketOpen)
{
    HeldPort held("127.0.0.1");
    const int before = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        IsLocalPortTaken(held.port);
        IsLocalPortTaken(0);
    }
    EXPECT_EQ(openDescriptors(), before);
}
