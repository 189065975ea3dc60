// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/net_exceptions.h"

#include "common/sysutils.h"
#include "net/socket_errors.h"

using namespace Qt::StringLiterals;

EInvalidSocket::EInvalidSocket() : ENetException(u"Cannot allocate socket."_s)
{
}

ECouldNotBindSocket::ECouldNotBindSocket()
    : ENetException(u"Could not bind socket. Address and port are already in use."_s)
{
}

ESocketError::ESocketError(int code)
    : ENetException(u"Socket Error # "_s + intToStr(code) + u"\r\n"_s + socketErrorText(code)),
      code_(code)
{
}

EPackageSizeTooBig::EPackageSizeTooBig() : ENetException(u"Package Size Too Big."_s)
{
}

ENotAllBytesSent::ENotAllBytesSent() : ENetException(u"Not all bytes sent."_s)
{
}
