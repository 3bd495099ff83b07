#pragma once
// Ports without races. Tests run side by side, so a port that was free a moment ago may be taken
// by the time it is used: a test holds every port it names, or lets the program bind port 0 and
// reads back what the system chose. Fixed ports belong only inside a private network
// (PrivateNetwork.h), where no other test runs.

class TMySocket;

namespace testing_support {

// The port an instance's socket really listens on or is bound to (the system's choice when it
// was made with port 0): a TCP server's listener, a TCP connection's or client's local end, a UDP
// endpoint's socket. 0 when it has none.
int BoundPort(const TMySocket *instance);

} // namespace testing_support
