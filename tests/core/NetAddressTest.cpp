#include "core/NetAddress.h"

#include "tests/support/ScopedEnvironment.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

namespace
{

bool IsPublic(const char* address)
{
    sockaddr_in ipv4 {};
    ipv4.sin_family = AF_INET;
    if (inet_pton(AF_INET, address, &ipv4.sin_addr) == 1)
        return IsPublicAddress(reinterpret_cast<const sockaddr*>(&ipv4));
    sockaddr_in6 ipv6 {};
    ipv6.sin6_family = AF_INET6;
    EXPECT_EQ(inet_pton(AF_INET6, address, &ipv6.sin6_addr), 1) << address;
    return IsPublicAddress(reinterpret_cast<const sockaddr*>(&ipv6));
}

} // namespace

TEST(NetAddressTest, HostNamesOutsideAsciiTakeTheirAsciiFormAndNothingElseChanges)
{
    testing_support::ScopedCLocale locale;
    EXPECT_EQ(AsciiHostUrl("http://радио.example/stream"), "http://xn--80aimyg.example/stream");
    EXPECT_EQ(AsciiHostUrl("http://user:pä@Радио.example:8000/Sänger;x?q=é#f"),
        "http://user:pä@xn--80aimyg.example:8000/Sänger;x?q=é#f")
        << "user, port, path, query and fragment are kept as they are";
    EXPECT_EQ(AsciiHostUrl("http://%D1%80%D0%B0%D0%B4%D0%B8%D0%BE.example/"), "http://xn--80aimyg.example/")
        << "a host escaped on its way here";
    EXPECT_EQ(AsciiHostUrl("http://caf\xe9.example/"), "http://xn--caf-dma.example/") << "Windows-1252";
    for (const char* kept : { "http://Radio.Example:80/a b", "http://my_host/x", "http://[::1]:8000/", "no address",
             "http://bad host.example/" })
        EXPECT_EQ(AsciiHostUrl(kept), kept);

    EXPECT_EQ(RedirectUrl("http://a.example/x/y?z", "../other#part"), "http://a.example/other");
    EXPECT_EQ(RedirectUrl("http://a.example:81/x", " //радио.example/a b "), "http://xn--80aimyg.example/a%20b");
    EXPECT_EQ(
        RedirectUrl("http://a.example/", "https://радио.example:444/é"), "https://xn--80aimyg.example:444/%C3%A9");
    EXPECT_EQ(RedirectUrl("http://a.example/", ""), "");
    EXPECT_EQ(RedirectUrl("http://a.example/", "http://"), "");
}

TEST(NetAddressTest, OnlyAddressesOfTheOpenInternetArePublic)
{
    for (const char* address : { "1.1.1.1", "9.255.255.255", "11.0.0.0", "100.63.255.255", "100.128.0.0",
             "169.253.255.255", "172.15.255.255", "172.32.0.0", "192.167.255.255", "192.169.0.0", "2001:db8::1",
             "2a00:1450::1", "::ffff:8.8.8.8", "fbff::1" })
        EXPECT_TRUE(IsPublic(address)) << address;
    for (const char* address :
        { "0.0.0.0", "0.1.2.3", "127.0.0.1", "127.255.255.254", "10.0.0.1", "100.64.0.1", "169.254.169.254",
            "172.16.0.1", "172.31.255.255", "192.168.1.1", "::", "::1", "::127.0.0.1", "fe80::1", "febf::1", "fec0::1",
            "fc00::1", "fdff::1", "::ffff:127.0.0.1", "::ffff:10.0.0.1", "::ffff:169.254.0.1", "::ffff:0.0.0.0" })
        EXPECT_FALSE(IsPublic(address)) << address;
    EXPECT_FALSE(IsPublicAddress(nullptr));
}
