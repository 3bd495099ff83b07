#pragma once
// Limits of the process that the program sets for itself at start.

// Raises the soft limit of open descriptors to the hard one, as servers do: a desktop session
// usually starts a program with 1,024 under a far higher hard limit, and every connection a
// server takes is a descriptor. Returns the soft limit now in force.
long RaiseOpenFileLimit();

// The machine's physical memory in bytes (0 when the system does not say).
long long MachineMemory();
