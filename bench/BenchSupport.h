#pragma once
// What every benchmark needs: the median of its rounds, elapsed seconds, and an address on
// 127.0.0.1 in the socket layer's terms.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "WinSock.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// Not a number when there is nothing to take it of: a target judged on it is missed.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline ws::TSockAddrIn loopback(int port)
{
    ws::TSockAddrIn a;
    a.sin_family = ws::AF_INET_;
    a.sin_port = ws::HostToNet16(static_cast<uint16_t>(port));
    a.sin_addr = ws::inet_addr("127.0.0.1");
    return a;
}

} // namespace bench
