// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_handle.h"

#include "net/net_exceptions.h"

#include <cerrno>
#include <sys/socket.h>

void TSocketHandle::SetSocketOption(int level, int option, const void* value, int length)
{
    if (length < 0)
        throw ESocketError(EINVAL);
    if (::setsockopt(handle_, level, option, value, static_cast<socklen_t>(length)) != 0)
        throw ESocketError(errno);
}
