#include "Adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace ws {

namespace {

QString dotted(const sockaddr *a)
{
    if (!a || a->sa_family != AF_INET)
        return QStringLiteral("0.0.0.0");
    char text[INET_ADDRSTRLEN] = {};
    const auto *in = reinterpret_cast<const sockaddr_in *>(a);
    if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
        return QStringLiteral("0.0.0.0");
    return QString::fromLatin1(text);
}

// An address labelled "eth0:1" belongs to the device "eth0": the label is the device name,
// a colon and an alias (getifaddrs names IPv4 entries by their label).
QString deviceName(const char *name)
{
    const QString n = QString::fromLocal8Bit(name);
    const qsizetype colon = n.indexOf(QLatin1Char(':'));
    return colon < 0 ? n : n.left(colon);
}

} // namespace

QList<TAdapter> ReadAdapters()
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};

    QList<TAdapter> adapters;
    for (const ifaddrs *a = list; a; a = a->ifa_next) {
        if (!a->ifa_name)
            continue;
        // A switched-off interface stands for a disabled adapter, which the original list
        // leaves out; one that is on but has no carrier stays (an unplugged cable).
        if ((a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP))
            continue;
        const QString name = deviceName(a->ifa_name);
        TAdapter *adapter = nullptr;
        for (TAdapter &known : adapters)
            if (known.Name == name)
                adapter = &known;
        if (!adapter) {
            adapters.append(TAdapter{name, {}});
            adapter = &adapters.last();
        }
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET)
            adapter->Addresses.append(TAdapterAddress{dotted(a->ifa_addr), dotted(a->ifa_netmask)});
    }
    ::freeifaddrs(list);
    return adapters;
}

} // namespace ws
