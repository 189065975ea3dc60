// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_errors.h"

#include "net/net_exceptions.h"

#include <cerrno>
#include <cstring>

QString socketErrorText(int code)
{
    // The texts are the traditional socket-layer ones, keyed by the errno of the same meaning.
    struct Entry {
        int code;
        const char* text;
    };
    static constexpr Entry table[] = {
        {EINTR, "Interrupted system call."},
        {EBADF, "Bad file number."},
        {EACCES, "Access denied."},
        {EFAULT, "Bad address."},
        {EINVAL, "Invalid argument."},
        {EMFILE, "Too many open files."},
        {EWOULDBLOCK, "Operation would block. "},
        {EINPROGRESS, "Operation now in progress."},
        {EALREADY, "Operation already in progress."},
        {ENOTSOCK, "Socket operation on non-socket."},
        {EDESTADDRREQ, "Destination address required."},
        {EMSGSIZE, "Message too long."},
        {EPROTOTYPE, "Protocol wrong type for socket."},
        {ENOPROTOOPT, "Bad protocol option."},
        {EPROTONOSUPPORT, "Protocol not supported."},
        {ESOCKTNOSUPPORT, "Socket type not supported."},
        {EOPNOTSUPP, "Operation not supported on socket."},
        {EPFNOSUPPORT, "Protocol family not supported."},
        {EAFNOSUPPORT, "Address family not supported by protocol family."},
        {EADDRINUSE, "Address already in use."},
        {EADDRNOTAVAIL, "Cannot assign requested address."},
        {ENETDOWN, "Network is down."},
        {ENETUNREACH, "Network is unreachable."},
        {ENETRESET, "Net dropped connection or reset."},
        {ECONNABORTED, "Software caused connection abort."},
        {ECONNRESET, "Connection reset by peer."},
        {ENOBUFS, "No buffer space available."},
        {EISCONN, "Socket is already connected."},
        {ENOTCONN, "Socket is not connected."},
        {ESHUTDOWN, "Cannot send or receive after socket is closed."},
        {ETOOMANYREFS, "Too many references, cannot splice."},
        {ETIMEDOUT, "Connection timed out."},
        {ECONNREFUSED, "Connection refused."},
        {ELOOP, "Too many levels of symbolic links."},
        {ENAMETOOLONG, "File name too long."},
        {EHOSTDOWN, "Host is down."},
        {EHOSTUNREACH, "No route to host."},
        {ENOTEMPTY, "Directory not empty"},
        {HostNotFoundCode, "Host not found."},
        // Further codes the socket calls here can give, by their own meaning (EPERM: a
        // firewall rule refused the datagram).
        {EPERM, "Operation not permitted."},
        {ENOENT, "No such file or directory."},
        {EIO, "Input/output error."},
        {ENXIO, "No such device or address."},
        {ENOMEM, "Out of memory."},
        {ENODEV, "No such device."},
        {ENFILE, "Too many open files in system."},
        {EPIPE, "Broken pipe."},
        {ENONET, "Machine is not on the network."},
        {EPROTO, "Protocol error."},
        {ENOPKG, "Package not installed."},
    };
    for (const Entry& e : table) {
        if (e.code == code)
            return QString::fromLatin1(e.text);
    }
    // Any other system code still says what it means, in the system's own English words.
    if (code > 0 && code < 4096) {
        if (const char* meaning = ::strerrordesc_np(code))
            return QString::fromLatin1(meaning) + u'.';
    }
    return {};
}
