#pragma once
// The free-port check of the UDP creation dialogs.

#include <cstdint>

// True when a UDP socket cannot be bound to 0.0.0.0 and the port's low 16 bits, whatever the
// reason (in use here or by another program, privileged, ...). Only probes: the socket is
// closed again in every case.
bool IsLocalPortTaken(int32_t port);
