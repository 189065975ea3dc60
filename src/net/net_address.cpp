// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/net_address.h"

#include "common/sysutils.h"
#include "net/net_exceptions.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

using namespace Qt::StringLiterals;

namespace
{

// A text the system would read as a numeric address (inet_aton's shorthands such as "1.2.3",
// "0x7f000001", octal parts) or made only of digits and dots names no host here: such texts
// are refused without asking the resolver, so they never go out as a numeric address other
// than the four-part form and never wait on a name server.
bool looksNumeric(const QByteArray& name)
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

// Every answer that means "this name gives no address" (no such name, no name server that
// answers, a name server that fails, a name without IPv4 records) is a host not found, as
// the operator sees it. Only running out of memory or descriptors says something else.
int lookupErrorCode(int gaiError, int savedErrno)
{
    switch (gaiError) {
    case EAI_MEMORY:
        return ENOMEM;
    case EAI_SYSTEM:
        if (savedErrno == EMFILE || savedErrno == ENFILE || savedErrno == ENOMEM ||
            savedErrno == ENOBUFS)
            return savedErrno;
        return HostNotFoundCode;
    default:
        return HostNotFoundCode;
    }
}

// What one lookup gives: an address, or the code it fails with.
struct LookupResult {
    uint32_t address = 0;
    int error = 0;
};

LookupResult lookupBlocking(const QByteArray& name)
{
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
        return {0, lookupErrorCode(rc != 0 ? rc : EAI_NONAME, savedErrno)};
    }
    LookupResult result{0, HostNotFoundCode};
    for (const addrinfo* a = answer; a != nullptr; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
            result = {ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr), 0};
            break;
        }
    }
    ::freeaddrinfo(answer);
    return result;
}

// The lookup's own thread and the waiting caller share this. The thread may outlive the wait
// (a name server that never answers); it then finishes alone and its answer is dropped.
struct PendingLookup {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    LookupResult result;
};

LookupResult lookupBounded(const QByteArray& name, const LookupWait& wait)
{
    auto pending = std::make_shared<PendingLookup>();
    try {
        std::thread([pending, name] {
            const LookupResult result = lookupBlocking(name);
            {
                std::lock_guard guard(pending->lock);
                pending->result = result;
                pending->done = true;
            }
            pending->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: ask on this one rather than not at all.
        return lookupBlocking(name);
    }
    const auto isDone = [&pending] {
        std::lock_guard guard(pending->lock);
        return pending->done;
    };
    if (wait) {
        wait(isDone, LookupTimeoutMs);
    } else {
        std::unique_lock held(pending->lock);
        pending->finished.wait_for(held, std::chrono::milliseconds(LookupTimeoutMs),
                                   [&pending] { return pending->done; });
    }
    std::lock_guard guard(pending->lock);
    // A name that gives no answer in time names no host anyone could wait for.
    return pending->done ? pending->result : LookupResult{0, HostNotFoundCode};
}

uint32_t lookupByName(const QString& host, const LookupWait& wait)
{
    const QByteArray name = host.toUtf8();
    if (name.isEmpty() || name.contains('\0') || looksNumeric(name))
        throw ESocketError(HostNotFoundCode);
    const LookupResult result = lookupBounded(name, wait);
    if (result.error != 0)
        throw ESocketError(result.error);
    return result.address;
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

std::optional<QString> parseMac(const QString& text)
{
    const QString t = text.trimmed();
    // The separator and how many digits each group has, by the text's length.
    QChar separator;
    int group = 2;
    if (t.size() == 17 && (t[2] == u':' || t[2] == u'-')) {
        separator = t[2];
    } else if (t.size() == 14 && t[4] == u'.') {
        separator = t[4];
        group = 4;
    } else if (t.size() != 12)
        return std::nullopt;
    QString digits;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!separator.isNull() && (i + 1) % (group + 1) == 0) {
            if (c != separator)
                return std::nullopt;
            continue;
        }
        if (c.unicode() >= 128 || !std::isxdigit(c.toLatin1()))
            return std::nullopt;
        digits += c.toLower();
    }
    QString mac;
    for (int i = 0; i < 12; i += 2)
        mac += (i ? u":"_s : QString()) + digits.mid(i, 2);
    return mac;
}

bool isUnicastMac(const QString& mac)
{
    bool ok = false;
    const int first = mac.left(2).toInt(&ok, 16);
    return ok && (first & 1) == 0 && mac != u"00:00:00:00:00:00"_s;
}

// ASCII letters only: Unicode folding would also take e.g. "LOCALHO\u017FT" for localhost.
static bool isLocalhost(const QString& host)
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

uint32_t resolveHost(const QString& host, const LookupWait& wait)
{
    if (isLocalhost(host))
        return 0x7F000001u;
    if (const auto quad = parseDottedQuad(host))
        return *quad;
    return lookupByName(host, wait);
}
