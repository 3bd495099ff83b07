#pragma once
// The burst mode of bench_many_connections: N clients connecting at once from a process of their
// own, to a bare socket listening with the backlog the program's server has and then to a TCP
// server instance of the main window (see bench_many_connections.cpp for what is printed).

namespace bench {

class TTargets;

// In this process, on the platform it runs on; display names it in the output.
int RunBurst(TTargets &targets, int n, double cap, const char *display);
// --display both: offscreen and on an X server of its own, each in a process of its own (the
// platform is chosen once per process); argv as given, "--display both" among it.
int RunBurstOnBoth(int argc, char **argv);

} // namespace bench
