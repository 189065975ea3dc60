// SPDX-License-Identifier: GPL-3.0-or-later
// Failure texts and host texts: what the operator reads and where a datagram goes.
#include "net/net_address.h"
#include "net/net_exceptions.h"
#include "net/socket_errors.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

struct ErrorCase {
    int code;
    const char* message;
};

class SocketErrorMessage : public ::testing::TestWithParam<ErrorCase>
{};

TEST_P(SocketErrorMessage, IsCodeLineBreakAndText)
{
    const ErrorCase& c = GetParam();
    const ESocketError e(c.code);
    EXPECT_EQ(e.code(), c.code);
    EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
}

INSTANTIATE_TEST_SUITE_P(
    ByMeaning, SocketErrorMessage,
    ::testing::Values(ErrorCase{EADDRINUSE, "Socket Error # 98\r\nAddress already in use."},
                      ErrorCase{ECONNREFUSED, "Socket Error # 111\r\nConnection refused."},
                      ErrorCase{EACCES, "Socket Error # 13\r\nAccess denied."},
                      ErrorCase{EINVAL, "Socket Error # 22\r\nInvalid argument."},
                      ErrorCase{EAGAIN, "Socket Error # 11\r\nOperation would block. "},
                      ErrorCase{ENOPROTOOPT, "Socket Error # 92\r\nBad protocol option."},
                      ErrorCase{EMSGSIZE, "Socket Error # 90\r\nMessage too long."},
                      ErrorCase{ENOTEMPTY, "Socket Error # 39\r\nDirectory not empty"},
                      ErrorCase{EHOSTUNREACH, "Socket Error # 113\r\nNo route to host."},
                      ErrorCase{ENETUNREACH, "Socket Error # 101\r\nNetwork is unreachable."},
                      ErrorCase{EADDRNOTAVAIL,
                                "Socket Error # 99\r\nCannot assign requested address."},
                      ErrorCase{EAFNOSUPPORT, "Socket Error # 97\r\nAddress family not "
                                              "supported by protocol family."},
                      ErrorCase{ESHUTDOWN, "Socket Error # 108\r\nCannot send or receive "
                                           "after socket is closed."},
                      ErrorCase{HostNotFoundCode, "Socket Error # 11001\r\nHost not found."},
                      // A firewall rule refusing a send, and codes outside the traditional table.
                      ErrorCase{EPERM, "Socket Error # 1\r\nOperation not permitted."},
                      ErrorCase{ENOMEM, "Socket Error # 12\r\nOut of memory."},
                      ErrorCase{EPIPE, "Socket Error # 32\r\nBroken pipe."},
                      ErrorCase{ENOENT, "Socket Error # 2\r\nNo such file or directory."},
                      // Codes that are no system error end at the line break.
                      ErrorCase{0, "Socket Error # 0\r\n"},
                      ErrorCase{11002, "Socket Error # 11002\r\n"},
                      ErrorCase{-1, "Socket Error # -1\r\n"}));

TEST(SocketErrorTexts, EveryTextIsDistinctAndEndsAsWritten)
{
    // Each meaning has its own errno, so no two codes may share a text.
    QStringList seen;
    for (int code = 1; code < 200; ++code) {
        const QString text = socketErrorText(code);
        if (text.isEmpty())
            continue;
        EXPECT_FALSE(seen.contains(text)) << code;
        seen << text;
    }
    EXPECT_GE(seen.size(), 38); // the whole table but the resolver's entry, and more
}

// No code that socket, bind, getsockname, setsockopt, poll, recvfrom or sendto can give on an
// IPv4 UDP socket is left as a bare number.
TEST(SocketErrorTexts, EveryCodeASocketCallGivesHasOne)
{
    for (const int code :
         {EPERM,           ENOENT,       EINTR,        EIO,          ENXIO,        EBADF,
          EAGAIN,          ENOMEM,       EACCES,       EFAULT,       ENODEV,       EINVAL,
          ENFILE,          EMFILE,       EPIPE,        ENONET,       ENOPKG,       EPROTO,
          ENOTSOCK,        EDESTADDRREQ, EMSGSIZE,     EPROTOTYPE,   ENOPROTOOPT,  EPROTONOSUPPORT,
          ESOCKTNOSUPPORT, EOPNOTSUPP,   EPFNOSUPPORT, EAFNOSUPPORT, EADDRINUSE,   EADDRNOTAVAIL,
          ENETDOWN,        ENETUNREACH,  ENETRESET,    ECONNABORTED, ECONNRESET,   ENOBUFS,
          EISCONN,         ENOTCONN,     ESHUTDOWN,    ETIMEDOUT,    ECONNREFUSED, EHOSTDOWN,
          EHOSTUNREACH,    EALREADY,     EINPROGRESS,  ELOOP,        ENAMETOOLONG})
        EXPECT_TRUE(socketErrorText(code).trimmed().endsWith(u'.')) << code;
}

TEST(NetExceptions, FixedMessages)
{
    EXPECT_EQ(EInvalidSocket().message(), u"Cannot allocate socket."_s);
    EXPECT_EQ(ECouldNotBindSocket().message(),
              u"Could not bind socket. Address and port are already in use."_s);
    EXPECT_EQ(EPackageSizeTooBig().message(), u"Package Size Too Big."_s);
    EXPECT_EQ(ENotAllBytesSent().message(), u"Not all bytes sent."_s);
}

struct QuadCase {
    const char* text;
    std::optional<uint32_t> address;
};

class DottedQuad : public ::testing::TestWithParam<QuadCase>
{};

TEST_P(DottedQuad, ParsesFourIntegerParts)
{
    EXPECT_EQ(parseDottedQuad(QString::fromUtf8(GetParam().text)), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DottedQuad,
    ::testing::Values(QuadCase{"192.168.1.200", 0xC0A801C8u}, QuadCase{"0.0.0.0", 0u},
                      QuadCase{"255.255.255.255", 0xFFFFFFFFu},
                      QuadCase{"010.1.1.1", 0x0A010101u}, // leading zeros are decimal
                      QuadCase{"127.000.0.001", 0x7F000001u},
                      QuadCase{" 127.  0.0.1", 0x7F000001u}, // blanks before a number
                      QuadCase{"$7F.0.0.1", 0x7F000001u}, QuadCase{"0x7f.0.0.x1", 0x7F000001u},
                      QuadCase{"+1.2.3.4", 0x01020304u}, QuadCase{"1.2.3", std::nullopt},
                      QuadCase{"1.2.3.4.5", std::nullopt}, QuadCase{"256.1.1.1", std::nullopt},
                      QuadCase{"1.2.3.-1", std::nullopt}, QuadCase{"1.2.3.4 ", std::nullopt},
                      QuadCase{"1..3.4", std::nullopt}, QuadCase{"", std::nullopt},
                      QuadCase{"a.b.c.d", std::nullopt},
                      QuadCase{"0xFFFFFFFF.0.0.0", std::nullopt}));

TEST(DottedQuadText, HasNoLeadingZeros)
{
    EXPECT_EQ(formatDottedQuad(0x7F000001u), u"127.0.0.1"_s);
    EXPECT_EQ(formatDottedQuad(0x0A00FF09u), u"10.0.255.9"_s);
    EXPECT_EQ(formatDottedQuad(0u), u"0.0.0.0"_s);
}

struct HostCase {
    const char* host;
    uint32_t address;
};

class HostResolves : public ::testing::TestWithParam<HostCase>
{};

TEST_P(HostResolves, WithoutAskingTheResolver)
{
    EXPECT_EQ(resolveHost(QString::fromUtf8(GetParam().host)), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Texts, HostResolves,
                         ::testing::Values(HostCase{"LOCALHOST", 0x7F000001u},
                                           HostCase{"localhost", 0x7F000001u},
                                           HostCase{"LoCaLhOsT", 0x7F000001u},
                                           HostCase{"127.000.0.001", 0x7F000001u},
                                           HostCase{"192.168.1.248", 0xC0A801F8u}));

class HostNotFound : public ::testing::TestWithParam<const char*>
{};

// Numeric-looking texts other than the four-part form name no host, and are refused without
// a name server, so these hold on a machine without one.
TEST_P(HostNotFound, FailsWith11001)
{
    try {
        resolveHost(QString::fromUtf8(GetParam()));
        FAIL() << "resolved " << GetParam();
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.code(), 11001);
        EXPECT_EQ(e.message(), u"Socket Error # 11001\r\nHost not found."_s);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, HostNotFound,
                         ::testing::Values("1.2.3", "1.2.3.4.5", "", "127.1", "0x7f000001",
                                           "2130706433", "256.0.0.1", "127.0.0.1 ", "1.2.3.",
                                           "017.0.0.1."));

TEST(HostText, WithAnEmbeddedNulIsNotCutShort)
{
    // Cut at the NUL it would read "localhost"; whole, it names no host.
    const QString host = QStringLiteral("localhost") + QChar(0) + QStringLiteral("x");
    try {
        resolveHost(host);
        FAIL() << "resolved a text with a NUL";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.code(), 11001);
    }
}

} // namespace

struct MacCase {
    const char* text;
    std::optional<QString> mac;
    bool unicast;
};

class MacTexts : public ::testing::TestWithParam<MacCase>
{};

TEST_P(MacTexts, ReadTheLabelsNotationsAsTheProbesWriteThem)
{
    const auto mac = parseMac(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(mac, GetParam().mac);
    EXPECT_EQ(mac && isUnicastMac(*mac), GetParam().unicast);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MacTexts,
    ::testing::Values(MacCase{"00:1A:2b:3C:4d:5E", u"00:1a:2b:3c:4d:5e"_s, true},
                      MacCase{" 00-1a-2b-3c-4d-5e ", u"00:1a:2b:3c:4d:5e"_s, true},
                      MacCase{"001a.2b3c.4d5e", u"00:1a:2b:3c:4d:5e"_s, true},
                      MacCase{"001A2B3C4D5E", u"00:1a:2b:3c:4d:5e"_s, true},
                      MacCase{"01:00:5e:00:01:30", u"01:00:5e:00:01:30"_s, false},
                      MacCase{"ff:ff:ff:ff:ff:ff", u"ff:ff:ff:ff:ff:ff"_s, false},
                      MacCase{"00:00:00:00:00:00", u"00:00:00:00:00:00"_s, false},
                      MacCase{"00:1a-2b:3c:4d:5e", std::nullopt, false}, // mixed separators
                      MacCase{"00:1a:2b:3c:4d:5g", std::nullopt, false},
                      MacCase{"0:1a:2b:3c:4d:5e:", std::nullopt, false},
                      MacCase{"００:1a:2b:3c:4d:5e", std::nullopt, false}, // full-width digits
                      MacCase{"00:1a:2b:3c:4d", std::nullopt, false},
                      MacCase{"", std::nullopt, false}));
