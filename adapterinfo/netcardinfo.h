#pragma once
// The local adapter address and its directed broadcast address, read afresh from the adapter
// list on every call.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// platform
#include "Adapters.h"

// Where the adapter list comes from. An empty source reads the system's list; tests set their own.
using TAdapterSource = std::function<QList<ws::TAdapter>()>;
// Returns the source it replaces.
TAdapterSource SetAdapterSource(TAdapterSource source);

// One line per IPv4 address of the first adapter: "A: ", address, " M: ", mask, "\r".
// Empty when no adapter information is available.
QString ReadAdapterText();

// The first address of the first adapter; "127.0.0.1" without adapter information. Never fails.
QString GetLocalAddress();

// The directed broadcast address of the first address and its mask. Shows
// "请检查本机网络连接是否正常" first when there is no adapter information or the adapter has
// no address; then, and whenever there are no bytes to combine, gives "255.255.255.255".
QString GetBroadcastAddress();

using TFourBytes = std::array<uint8_t, 4>;
// The four components of a dotted text, cut at its first three dots, each by the standard
// integer conversion and within 0..255; nothing otherwise.
std::optional<TFourBytes> DottedToBytes(const QString &dotted);
