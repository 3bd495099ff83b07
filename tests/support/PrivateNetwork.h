#pragma once
// Tests that need a network of their own (interfaces with chosen addresses, multicast routed to
// loopback) run in a private network namespace: the test executable starts itself again under
// `unshare -n`, limited to the one test, with loopback up and nothing else. Needs root.
//
//   TEST(Suite, Case) {
//       VELMORA_IN_PRIVATE_NETWORK();
//       ASSERT_TRUE(testing_support::Ip("link add v0 type veth peer name v1"));
//       ... // runs only inside the namespace
//   }

// Qt
#include <QString>

namespace testing_support {

// True in the copy of the executable that runs inside the private namespace.
bool InPrivateNetwork();

struct PrivateNetworkRun {
    bool available = false; // namespaces can be made here
    bool passed = false;    // the test passed inside
    QString output;         // what the inner run printed
    QString reason;         // why not available
};

// Runs the current test inside a fresh private network namespace and waits for it (at most
// timeoutMs).
PrivateNetworkRun RunCurrentTestInPrivateNetwork(int timeoutMs = 60000);

// Runs `ip <arguments>` (split at blanks); true on success, else the test gets the output.
bool Ip(const QString &arguments);

// Inside the namespace: checks that loopback is the only interface, then routes 224.0.0.0/4 to
// it, so group members join and send there. True on success, else the test gets the reason.
bool RouteMulticastToLoopback();

} // namespace testing_support

// Outside the namespace: runs the current test inside one and ends it there with the inner
// result, or skips it with the reason when namespaces cannot be made. Inside: does nothing.
#define VELMORA_IN_PRIVATE_NETWORK()                                                              \
    do {                                                                                          \
        if (!testing_support::InPrivateNetwork()) {                                               \
            const testing_support::PrivateNetworkRun run__ =                                      \
                testing_support::RunCurrentTestInPrivateNetwork();                                \
            if (!run__.available)                                                                 \
                GTEST_SKIP() << run__.reason.toStdString();                                       \
            EXPECT_TRUE(run__.passed) << run__.output.toStdString();                              \
            return;                                                                               \
        }                                                                                         \
    } while (false)
