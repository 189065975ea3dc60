// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/signal_pipe.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// A signal handler can reach only static storage.
int pipeEnds[2] = {-1, -1};
struct sigaction previous[2];
constexpr int Signals[2] = {SIGINT, SIGTERM};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

bool SignalPipe::install()
{
    if (pipeEnds[0] >= 0) {
        errno = EBUSY;
        return false;
    }
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 2; ++i) {
        if (::sigaction(Signals[i], &sa, &previous[i]) != 0)
            return false;
    }
    return true;
}

SignalPipe::~SignalPipe()
{
    if (pipeEnds[0] < 0)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(Signals[i], &previous[i], nullptr);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

int SignalPipe::readFd() const
{
    return pipeEnds[0];
}

bool SignalPipe::taken()
{
    char byte = 0;
    return ::read(pipeEnds[0], &byte, 1) == 1;
}
