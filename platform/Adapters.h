#pragma once
// The machine's network adapters, in place of the original platform's adapter list
// (GetAdaptersInfo): each adapter with its IPv4 addresses and masks as dotted texts.

// Qt
#include <QList>
#include <QString>

namespace ws {

struct TAdapterAddress {
    QString Address;
    QString Mask;
};

struct TAdapter {
    QString Name;
    // In the system's order; empty for an adapter that has no IPv4 address.
    QList<TAdapterAddress> Addresses;
};

// Every interface that is switched on and is not loopback, in the kernel's order of first
// appearance, with its IPv4 addresses. Empty when there is none or the list cannot be read.
QList<TAdapter> ReadAdapters();

} // namespace ws
