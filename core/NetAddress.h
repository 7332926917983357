#pragma once

#include <QByteArray>
#include <QByteArrayView>

struct sockaddr;

// Addresses as they are handed to libcurl. libcurl converts a host name outside ASCII with the
// character set of the locale, which fails under the C locale that services and cron jobs run in;
// the host names are therefore converted here (IDNA, the same under every locale) before any request.

// The address (UTF-8, or Windows-1252 when it is not valid UTF-8) with its host name in ASCII form;
// percent-escapes in the host are decoded first. The rest of the address is kept as it is, and so is
// an address whose host is ASCII already or cannot be converted.
QByteArray AsciiHostUrl(QByteArrayView url);

// Where a redirection leads: the Location header's value made absolute against the address that
// answered, its host in ASCII form, blanks and bytes outside ASCII percent-escaped, without a
// fragment. Empty when it is no address with a host.
QByteArray RedirectUrl(QByteArrayView answered, QByteArrayView location);

// Whether an address may be reached from the open Internet: false for the unspecified, loopback,
// link-local, private (RFC 1918 and the carriers' shared range) and unique-local addresses, for IPv4,
// IPv6 and IPv4 mapped into IPv6.
bool IsPublicAddress(const sockaddr* address);
