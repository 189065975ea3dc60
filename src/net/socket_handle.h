// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class TSocketHandle
{
public:
    QString IP;       // local address; empty = all interfaces, after bind what the system reports
    int Port = 0;     // local port; after bind the bound port
    QString SenderIP; // dotted quad of the last datagram's sender
    int SenderPort = 0;

    // Sets a socket option; raises ESocketError with the system's code on failure.
    void SetSocketOption(int level, int option, const void* value, int length);

    bool opened() const { return handle_ >= 0; }
    int handle() const { return handle_; }

private:
    friend class TUDPServer;
    int handle_ = -1;
};
