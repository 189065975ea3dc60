// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/exceptions.h"

class ENetException : public Exception
{
public:
    using Exception::Exception;
};
class EInvalidSocket : public ENetException
{
public:
    EInvalidSocket(); // "Cannot allocate socket."
};
class ECouldNotBindSocket : public ENetException
{
public:
    ECouldNotBindSocket(); // "Could not bind socket. Address and port are already in use."
};
class ESocketError : public ENetException
{
public:
    explicit ESocketError(int code); // "Socket Error # %d\r\n%s"
    int code() const { return code_; }

private:
    int code_;
};
class EPackageSizeTooBig : public ENetException
{
public:
    EPackageSizeTooBig(); // "Package Size Too Big."
};
class ENotAllBytesSent : public ENetException
{
public:
    ENotAllBytesSent(); // "Not all bytes sent."
};

// Code used for a host name that does not resolve (the resolver has no errno).
constexpr int HostNotFoundCode = 11001;
