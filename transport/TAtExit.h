#pragma once
// Runs a function when the scope ends, also when a handler called in that scope throws: the
// components must leave a socket's notifications right whatever a handler did.

#include <utility>

template <typename F>
class TAtExit {
public:
    explicit TAtExit(F f) : FFunction(std::move(f)) {}
    ~TAtExit() { FFunction(); }
    TAtExit(const TAtExit &) = delete;
    TAtExit &operator=(const TAtExit &) = delete;

private:
    F FFunction;
};
