// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGINT and SIGTERM turned into a byte on a pipe, so that the simulator's poll wakes for
// them and the run ends through its normal path, sockets closed and a summary printed.
class SignalPipe
{
public:
    SignalPipe() = default;
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // Makes the pipe and installs the handlers; false (errno set) on failure. One at a time.
    bool install();
    // The end to poll for reading.
    int readFd() const;
    // Whether a signal came since the last call; takes one byte.
    bool taken();
};
