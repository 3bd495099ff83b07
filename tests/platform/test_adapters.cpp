// The adapter list read from the system: which interfaces count, in which order, and their IPv4
// addresses and masks. Interfaces and addresses are made in a private network namespace.

#include <gtest/gtest.h>

#include "Adapters.h"
#include "PrivateNetwork.h"

using testing_support::Ip;

namespace {

// Texts, so that a failure prints readably.
std::string names(const QList<ws::TAdapter> &adapters)
{
    QStringList n;
    for (const ws::TAdapter &a : adapters)
        n.append(a.Name);
    return n.join(QLatin1Char(' ')).toStdString();
}

std::string addresses(const ws::TAdapter &adapter)
{
    QStringList n;
    for (const ws::TAdapterAddress &a : adapter.Addresses)
        n.append(a.Address + QLatin1Char('/') + a.Mask);
    return n.join(QLatin1Char(' ')).toStdString();
}

} // namespace

TEST(Adapters, LoopbackIsNeverAnAdapter)
{
    for (const ws::TAdapter &a : ws::ReadAdapters()) {
        EXPECT_NE(a.Name, QStringLiteral("lo"));
        for (const ws::TAdapterAddress &addr : a.Addresses)
            EXPECT_NE(addr.Address, QStringLiteral("127.0.0.1")) << a.Name.toStdString();
    }
}

TEST(Adapters, OnlyLoopbackGivesNoAdapter)
{
    VELMORA_IN_PRIVATE_NETWORK();
    EXPECT_TRUE(ws::ReadAdapters().isEmpty());
}

TEST(Adapters, SwitchedOffInterfaceIsLeftOutWithOrWithoutAddress)
{
    VELMORA_IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Ip("tuntap add dev t0 mode tap"));
    EXPECT_TRUE(ws::ReadAdapters().isEmpty());
    ASSERT_TRUE(Ip("addr add 10.1.2.3/8 dev t0"));
    EXPECT_TRUE(ws::ReadAdapters().isEmpty());

    // Switched on but without carrier (no program holds the tap), like an unplugged cable.
    ASSERT_TRUE(Ip("link set t0 up"));
    const QList<ws::TAdapter> adapters = ws::ReadAdapters();
    ASSERT_EQ(names(adapters), "t0");
    EXPECT_EQ(addresses(adapters[0]), "10.1.2.3/255.0.0.0");
}

TEST(Adapters, AddressesKeepTheirOrderAndLabelledOnesStayWithTheirDevice)
{
    VELMORA_IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Ip("tuntap add dev t0 mode tap"));
    ASSERT_TRUE(Ip("link set t0 up"));
    ASSERT_TRUE(Ip("addr add 172.16.5.4/20 dev t0"));
    ASSERT_TRUE(Ip("addr add 10.1.2.3/8 dev t0"));
    ASSERT_TRUE(Ip("addr add 192.168.1.23/24 dev t0 label t0:7"));
    ASSERT_TRUE(Ip("addr add 10.9.9.9/8 dev t0")); // same subnet as 10.1.2.3: a secondary
    ASSERT_TRUE(Ip("addr add 1.2.3.4/32 dev t0"));

    const QList<ws::TAdapter> adapters = ws::ReadAdapters();
    ASSERT_EQ(names(adapters), "t0");
    EXPECT_EQ(addresses(adapters[0]), "172.16.5.4/255.255.240.0 10.1.2.3/255.0.0.0 192.168.1.23/255.255.255.0 "
                                      "1.2.3.4/255.255.255.255 10.9.9.9/255.0.0.0");
}

TEST(Adapters, InterfacesInKernelOrderAndOneWithoutAddressIsKept)
{
    VELMORA_IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Ip("tuntap add dev zz0 mode tap"));
    ASSERT_TRUE(Ip("tuntap add dev aa1 mode tap"));
    ASSERT_TRUE(Ip("tuntap add dev mm2 mode tap"));
    ASSERT_TRUE(Ip("addr add 10.0.0.2/8 dev aa1"));
    ASSERT_TRUE(Ip("addr add 10.0.0.3/8 dev mm2"));
    for (const char *dev : {"mm2", "aa1", "zz0"})
        ASSERT_TRUE(Ip(QStringLiteral("link set %1 up").arg(QLatin1String(dev))));

    // Order of creation (the interface index), not of names or of switching on.
    const QList<ws::TAdapter> adapters = ws::ReadAdapters();
    ASSERT_EQ(names(adapters), "zz0 aa1 mm2");
    EXPECT_TRUE(adapters[0].Addresses.isEmpty());
    EXPECT_EQ(addresses(adapters[1]), "10.0.0.2/255.0.0.0");
    EXPECT_EQ(addresses(adapters[2]), "10.0.0.3/255.0.0.0");
}
