#pragma once
// A socket of the test bound to an address and port 0, holding the port it got until released.

#include <cstdint>

#include "WinSock.h"

namespace testing_support {

class HeldPort {
public:
    explicit HeldPort(const char *address, int type = ws::SOCK_DGRAM_);
    ~HeldPort();
    HeldPort(const HeldPort &) = delete;
    HeldPort &operator=(const HeldPort &) = delete;
    void Release();
    int32_t port = 0; // 0 if the bind failed

private:
    ws::TSocket FSocket = ws::INVALID_SOCKET;
};

} // namespace testing_support
