#pragma once
// What the benchmarks that go through the real main window share: its TCP server made as the
// user makes it, the events it has left handled, a free port, and the heap in use.

class TForm1;
class TMySocket;

namespace bench {

// Heap in use by this process (mallinfo2: in use from the arenas and in mapped blocks), in bytes.
long long HeapInUse();
// Handles what is posted and pending, a few rounds.
void DrainEvents();
// A port on 127.0.0.1 that nothing listens on right now.
int UnusedPort();
// The TCP server made as the user makes it: category selected, "创建", the port typed into the
// dialog, OK. (The create command also shows the document area in place of the placeholder.)
// Exits the process when the server does not listen.
TMySocket *CreateTcpServer(TForm1 &form, int port);

} // namespace bench
