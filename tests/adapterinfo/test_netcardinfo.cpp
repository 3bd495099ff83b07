// The local adapter address and the directed broadcast address: the adapter text they read,
// the first-adapter rules, the broadcast arithmetic, and the conversion of dotted texts.

#include <gtest/gtest.h>

#include "PrivateNetwork.h"
#include "TestSupport.h"
#include "netcardinfo.h"

using testing_support::Ip;
using testing_support::MessageRecorder;

namespace {

const QString noNetwork = QStringLiteral("请检查本机网络连接是否正常");

// Feeds the module a fixed adapter list for the lifetime of the object.
class FakeAdapters {
public:
    explicit FakeAdapters(QList<ws::TAdapter> adapters)
    {
        FPrevious = SetAdapterSource([adapters, this] {
            ++reads;
            return adapters;
        });
    }
    ~FakeAdapters() { SetAdapterSource(std::move(FPrevious)); }
    int reads = 0;

private:
    TAdapterSource FPrevious;
};

ws::TAdapter adapter(const char *name, std::initializer_list<std::pair<const char *, const char *>> addresses)
{
    ws::TAdapter a{QString::fromLatin1(name), {}};
    for (const auto &[address, mask] : addresses)
        a.Addresses.append({QString::fromLatin1(address), QString::fromLatin1(mask)});
    return a;
}

std::string text(const std::optional<TFourBytes> &bytes)
{
    if (!bytes)
        return "nothing";
    return QStringLiteral("%1 %2 %3 %4").arg((*bytes)[0]).arg((*bytes)[1]).arg((*bytes)[2]).arg((*bytes)[3]).toStdString();
}

} // namespace

TEST(AdapterText, FirstAdapterOnlyOneLinePerAddress)
{
    FakeAdapters fake({adapter("eth0", {{"10.1.2.3", "255.0.0.0"}, {"192.168.1.23", "255.255.255.0"}}),
                       adapter("eth1", {{"172.16.5.4", "255.255.240.0"}})});
    EXPECT_EQ(ReadAdapterText(), QStringLiteral("A: 10.1.2.3 M: 255.0.0.0\rA: 192.168.1.23 M: 255.255.255.0\r"));
}

TEST(AdapterText, AdapterWithoutAddressReadsAsZeros)
{
    FakeAdapters fake({adapter("eth0", {}), adapter("eth1", {{"10.1.2.3", "255.0.0.0"}})});
    EXPECT_EQ(ReadAdapterText(), QStringLiteral("A: 0.0.0.0 M: 0.0.0.0\r"));
}

TEST(AdapterText, NoAdapterGivesEmptyText)
{
    FakeAdapters fake({});
    EXPECT_EQ(ReadAdapterText(), QString());
}

TEST(AdapterText, EveryCallReadsTheListAfresh)
{
    FakeAdapters fake({adapter("eth0", {{"10.1.2.3", "255.0.0.0"}})});
    MessageRecorder recorder;
    GetLocalAddress();
    GetLocalAddress();
    GetBroadcastAddress();
    EXPECT_EQ(fake.reads, 3);
}

TEST(LocalAddress, FirstAddressOfFirstAdapterWithoutAnyMessage)
{
    struct Row {
        const char *name;
        QList<ws::TAdapter> adapters;
        const char *expected;
    };
    const Row rows[] = {
        {"one address", {adapter("eth0", {{"192.168.1.23", "255.255.255.0"}})}, "192.168.1.23"},
        {"several addresses", {adapter("eth0", {{"10.1.2.3", "255.0.0.0"}, {"10.9.9.9", "255.0.0.0"}})}, "10.1.2.3"},
        {"later adapters ignored", {adapter("eth0", {{"10.1.2.3", "255.0.0.0"}}), adapter("eth1", {{"1.1.1.1", "255.0.0.0"}})}, "10.1.2.3"},
        {"first adapter without address", {adapter("eth0", {}), adapter("eth1", {{"10.1.2.3", "255.0.0.0"}})}, "0.0.0.0"},
        {"no adapter", {}, "127.0.0.1"},
    };
    MessageRecorder recorder;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        FakeAdapters fake(row.adapters);
        EXPECT_EQ(GetLocalAddress().toStdString(), row.expected);
    }
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST(BroadcastAddress, AddressOrInvertedMask)
{
    struct Row {
        const char *address;
        const char *mask;
        const char *expected;
    };
    const Row rows[] = {
        {"192.168.1.23", "255.255.255.0", "192.168.1.255"},
        {"10.1.2.3", "255.0.0.0", "10.255.255.255"},
        {"172.16.5.4", "255.255.240.0", "172.16.15.255"},
        {"172.16.5.4", "255.255.255.255", "172.16.5.4"},
        {"192.0.2.2", "255.255.255.252", "192.0.2.3"},
        {"10.0.0.1", "255.255.128.0", "10.0.127.255"},
        {"8.8.4.4", "0.0.0.0", "255.255.255.255"},
        {"0.0.0.1", "255.255.255.0", "0.0.0.255"},
    };
    MessageRecorder recorder;
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.address) + " " + row.mask);
        FakeAdapters fake({adapter("eth0", {{row.address, row.mask}})});
        EXPECT_EQ(GetBroadcastAddress().toStdString(), row.expected);
    }
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST(BroadcastAddress, OnlyTheFirstAddressAndMaskCount)
{
    MessageRecorder recorder;
    FakeAdapters fake({adapter("eth0", {{"10.1.2.3", "255.255.0.0"}, {"192.168.1.23", "255.255.255.0"}}),
                       adapter("eth1", {{"172.16.5.4", "255.255.240.0"}})});
    EXPECT_EQ(GetBroadcastAddress(), QStringLiteral("10.1.255.255"));
    EXPECT_TRUE(recorder.all.isEmpty());
}

TEST(BroadcastAddress, WithoutUsableAddressOneMessageThenLimitedBroadcast)
{
    struct Row {
        const char *name;
        QList<ws::TAdapter> adapters;
    };
    const Row rows[] = {
        {"no adapter", {}},
        {"first adapter without address, later one up", {adapter("eth0", {}), adapter("eth1", {{"10.1.2.3", "255.0.0.0"}})}},
        {"address not dotted", {adapter("eth0", {{"fe80::1", "255.255.255.0"}})}},
        {"mask not dotted", {adapter("eth0", {{"10.1.2.3", ""}})}},
        {"component out of range", {adapter("eth0", {{"10.1.2.300", "255.0.0.0"}})}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        MessageRecorder recorder;
        FakeAdapters fake(row.adapters);
        EXPECT_EQ(GetBroadcastAddress(), QStringLiteral("255.255.255.255"));
        EXPECT_EQ(recorder.messages, QStringList{noNetwork});
        EXPECT_TRUE(recorder.errors.isEmpty());
    }
}

TEST(DottedToBytes, Conversions)
{
    struct Row {
        const char16_t *dotted;
        const char *expected;
    };
    const Row rows[] = {
        {u"1.2.3.4", "1 2 3 4"},
        {u"0.0.0.0", "0 0 0 0"},
        {u"255.255.255.255", "255 255 255 255"},
        {u"192.168.001.010", "192 168 1 10"},
        {u" 10. 1. 2. 3", "10 1 2 3"},
        {u"$FF.x10.0x1.+7", "255 16 1 7"},
        {u"-0.0.0.0", "0 0 0 0"},
        {u"1.2.3.4.5", "nothing"},
        {u"1.2.3", "nothing"},
        {u"1.2.3.", "nothing"},
        {u"...", "nothing"},
        {u"", "nothing"},
        {u"256.1.1.1", "nothing"},
        {u"1.2.3.256", "nothing"},
        {u"-1.0.0.0", "nothing"},
        {u"1.2.3.$FFFFFFFF", "nothing"},
        {u"1 .2.3.4", "nothing"},
        {u"1.2.3.4 ", "nothing"},
        {u"a.b.c.d", "nothing"},
        {u"１.2.3.4", "nothing"},
    };
    for (const Row &row : rows) {
        const QString dotted = QString::fromUtf16(row.dotted);
        EXPECT_EQ(text(DottedToBytes(dotted)), row.expected) << dotted.toStdString();
    }
}

TEST(SystemAdapters, OnlyLoopback)
{
    VELMORA_IN_PRIVATE_NETWORK();
    MessageRecorder recorder;
    EXPECT_EQ(ReadAdapterText(), QString());
    EXPECT_EQ(GetLocalAddress(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(recorder.all.isEmpty());
    EXPECT_EQ(GetBroadcastAddress(), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(recorder.messages, QStringList{noNetwork});
}

TEST(SystemAdapters, AddressesOfTheFirstInterface)
{
    VELMORA_IN_PRIVATE_NETWORK();
    ASSERT_TRUE(Ip("tuntap add dev t0 mode tap"));
    ASSERT_TRUE(Ip("tuntap add dev t1 mode tap"));
    ASSERT_TRUE(Ip("link set t0 up"));
    ASSERT_TRUE(Ip("link set t1 up"));
    ASSERT_TRUE(Ip("addr add 10.20.30.40/8 dev t1"));
    MessageRecorder recorder;
    // The first interface is on but has no address yet.
    EXPECT_EQ(ReadAdapterText(), QStringLiteral("A: 0.0.0.0 M: 0.0.0.0\r"));
    EXPECT_EQ(GetLocalAddress(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(GetBroadcastAddress(), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(recorder.messages, QStringList{noNetwork});

    recorder.clear();
    ASSERT_TRUE(Ip("addr add 192.168.7.9/22 dev t0"));
    ASSERT_TRUE(Ip("addr add 172.16.5.4/20 dev t0"));
    EXPECT_EQ(ReadAdapterText(), QStringLiteral("A: 192.168.7.9 M: 255.255.252.0\rA: 172.16.5.4 M: 255.255.240.0\r"));
    EXPECT_EQ(GetLocalAddress(), QStringLiteral("192.168.7.9"));
    EXPECT_EQ(GetBroadcastAddress(), QStringLiteral("192.168.7.255"));
    EXPECT_TRUE(recorder.all.isEmpty());
}
