#include "net/net_address.h"

#include "common/sysutils.h"
#include "net/net_exceptions.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace
{

// A text the system would read as a numeric address (inet_aton's shorthands such as "1.2.3",
// "0x7f000001", octal parts) or made only of digits and dots names no host here: such texts
// are refused without asking the resolver, so they never go out as a numeric address other
// than the four-part form and never wait on a name server.
bool LooksNumeric(const QByteArray& name)
{
    bool digitsAndDots = true;
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || c == '.')) {
            digitsAndDots = false;
            break;
        }
    }
    if (digitsAndDots)
        return true;
    in_addr ignored{};
    return ::inet_aton(name.constData(), &ignored) != 0;
}

int LookupErrorCode(int gaiError, int savedErrno)
{
    switch (gaiError) {
    case EAI_AGAIN:
        return 11002; // temporary failure of the name server
    case EAI_SYSTEM:
        return savedErrno != 0 ? savedErrno : HostNotFoundCode;
    case EAI_FAIL:
        return 11003; // unrecoverable name server failure
    default:
        return HostNotFoundCode;
    }
}

uint32_t LookupByName(const QString& host)
{
    const QByteArray name = host.toUtf8();
    if (name.isEmpty() || name.contains('\0') || LooksNumeric(name))
        throw ESocketError(HostNotFoundCode);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* answer = nullptr;
    errno = 0;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &answer);
    const int savedErrno = errno;
    if (rc != 0 || answer == nullptr) {
        if (answer != nullptr)
            ::freeaddrinfo(answer);
        throw ESocketError(LookupErrorCode(rc != 0 ? rc : EAI_NONAME, savedErrno));
    }
    uint32_t address = 0;
    bool found = false;
    for (const addrinfo* a = answer; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
            address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
            found = true;
            break;
        }
    }
    ::freeaddrinfo(answer);
    if (!found)
        throw ESocketError(HostNotFoundCode);
    return address;
}

} // namespace

std::optional<uint32_t> parseDottedQuad(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    uint32_t address = 0;
    for (const QString& part : parts) {
        int value = 0;
        if (!tryStrToInt(part, value) || value < 0 || value > 255)
            return std::nullopt;
        address = (address << 8) | static_cast<uint32_t>(value);
    }
    return address;
}

QString formatDottedQuad(uint32_t address)
{
    return intToStr(static_cast<int>(address >> 24)) + u'.' +
           intToStr(static_cast<int>((address >> 16) & 0xFF)) + u'.' +
           intToStr(static_cast<int>((address >> 8) & 0xFF)) + u'.' +
           intToStr(static_cast<int>(address & 0xFF));
}

// ASCII letters only: Unicode folding would also take e.g. "LOCALHO\u017FT" for localhost.
static bool IsLocalhost(const QString& host)
{
    static constexpr char16_t upper[] = u"LOCALHOST";
    if (host.size() != 9)
        return false;
    for (qsizetype i = 0; i < 9; ++i) {
        char16_t c = host.at(i).unicode();
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

uint32_t resolveHost(const QString& host)
{
    if (IsLocalhost(host))
        return 0x7F000001u;
    if (const auto quad = parseDottedQuad(host))
        return *quad;
    return LookupByName(host);
}
