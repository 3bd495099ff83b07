#pragma once
// What every benchmark needs: the median of its rounds, elapsed seconds, an address on
// 127.0.0.1 in the socket layer's terms, and the datagrams the system dropped at a socket.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>

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

// The same, for plain socket calls.
inline sockaddr_in loopbackIn(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Datagrams the system dropped at the UDP socket bound to this local port since it was made
// (/proc/net/udp); -1 when no such socket is listed.
inline long long udpDrops(int port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string sl, local;
        fields >> sl >> local;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || std::stoi(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        std::string field, last;
        while (fields >> field)
            last = field;
        return std::atoll(last.c_str());
    }
    return -1;
}

} // namespace bench
