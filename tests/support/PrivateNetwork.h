#pragma once
// Multicast tests run in a network namespace of their own with only loopback, 224.0.0.0/4 routed
// to it, so nothing they send can reach a real interface.

// Qt
#include <QString>

namespace testing_support {

// Moves the calling thread (the UI thread) and every process it starts afterwards into a fresh
// network namespace: lo up, multicast routed to lo, no other interface. Done once per process.
// Returns false with the reason when that is impossible, leaving the network as it was.
bool EnterPrivateNetwork(QString *reason);

} // namespace testing_support
