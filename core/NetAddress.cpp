#include "core/NetAddress.h"

#include "core/CodePage.h"

#include <QUrl>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace
{

bool IsPublicIpv4(uint32_t address)
{
    const auto in
        = [address](uint32_t network, int bits) { return (address >> (32 - bits)) == (network >> (32 - bits)); };
    return !(in(0x00000000, 8) // "this network", 0.0.0.0 reaching this machine
        || in(0x7F000000, 8) // loopback
        || in(0xA9FE0000, 16) // link-local
        || in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) // private networks
        || in(0x64400000, 10)); // the carriers' shared range, private to their networks
}

bool IsPublicIpv6(const uint8_t (&bytes)[16])
{
    static constexpr uint8_t kMappedPrefix[12] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF };
    static constexpr uint8_t kZeroPrefix[12] = {};
    // IPv4 mapped (::ffff:a.b.c.d) or compatible (::a.b.c.d, also :: and ::1): the IPv4 address decides.
    if (std::memcmp(bytes, kMappedPrefix, 12) == 0 || std::memcmp(bytes, kZeroPrefix, 12) == 0) {
        const uint32_t ipv4
            = uint32_t(bytes[12]) << 24 | uint32_t(bytes[13]) << 16 | uint32_t(bytes[14]) << 8 | bytes[15];
        return IsPublicIpv4(ipv4);
    }
    return !((bytes[0] & 0xFE) == 0xFC // unique-local fc00::/7
        || (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80) // link-local fe80::/10
        || (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0xC0)); // site-local fec0::/10, the former private range
}

} // namespace

QByteArray AsciiHostUrl(QByteArrayView url)
{
    const QByteArray whole = url.toByteArray();
    const qsizetype schemeEnd = whole.indexOf("://");
    if (schemeEnd < 0)
        return whole;
    const qsizetype authorityStart = schemeEnd + 3;
    qsizetype authorityEnd = whole.size();
    for (const char end : { '/', '?', '#' })
        if (const qsizetype at = whole.indexOf(end, authorityStart); at >= 0 && at < authorityEnd)
            authorityEnd = at;
    const qsizetype at = whole.lastIndexOf('@', authorityEnd - 1);
    const qsizetype hostStart = at >= authorityStart ? at + 1 : authorityStart;
    if (hostStart < whole.size() && whole[hostStart] == '[')
        return whole; // an IPv6 address
    qsizetype hostEnd = whole.indexOf(':', hostStart);
    if (hostEnd < 0 || hostEnd > authorityEnd)
        hostEnd = authorityEnd;
    const QByteArray host = whole.sliced(hostStart, hostEnd - hostStart);
    const bool ascii = std::all_of(host.begin(), host.end(), [](char c) { return c > 0x20 && c < 0x7F && c != '%'; });
    if (ascii)
        return whole;
    const QByteArray ace = QUrl::toAce(DecodeUtf8OrAnsi(QByteArray::fromPercentEncoding(host)));
    if (ace.isEmpty())
        return whole;
    return whole.first(hostStart) + ace + whole.sliced(hostEnd);
}

QByteArray RedirectUrl(QByteArrayView answered, QByteArrayView location)
{
    const QString reference = DecodeUtf8OrAnsi(location).trimmed();
    if (reference.isEmpty())
        return QByteArray();
    const QUrl target = QUrl(DecodeUtf8OrAnsi(answered)).resolved(QUrl(reference));
    if (!target.isValid() || target.scheme().isEmpty() || target.host().isEmpty())
        return QByteArray();
    return target.toEncoded(QUrl::RemoveFragment);
}

bool IsPublicAddress(const sockaddr* address)
{
    if (!address)
        return false;
    if (address->sa_family == AF_INET) {
        sockaddr_in ipv4;
        std::memcpy(&ipv4, address, sizeof ipv4);
        return IsPublicIpv4(ntohl(ipv4.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 ipv6;
        std::memcpy(&ipv6, address, sizeof ipv6);
        uint8_t bytes[16];
        std::memcpy(bytes, &ipv6.sin6_addr, sizeof bytes);
        return IsPublicIpv6(bytes);
    }
    return false;
}
