#include "metrics/ListenAddress.h"

#include <gtest/gtest.h>

#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace svglogger {
namespace {

struct AddressCase {
    const char *text;
    bool valid;
    bool ipv6;
    bool loopback;
    bool any;
    int port;
};

// What --metrics-listen takes, and what each address means for who can connect.
TEST(ListenAddress, NumericAddressesAndWhoCanConnect)
{
    const AddressCase cases[] = {
        {"127.0.0.1:9464", true, false, true, false, 9464},
        {"127.200.0.9:0", true, false, true, false, 0},
        {"0.0.0.0:9464", true, false, false, true, 9464},
        {"192.168.1.20:65535", true, false, false, false, 65535},
        {"[::1]:9464", true, true, true, false, 9464},
        {"[::]:9464", true, true, false, true, 9464},
        {"[fe80::1]:1", true, true, false, false, 1},
        {"[::ffff:127.0.0.1]:9464", true, true, false, false, 9464}, // mapped: not IPv6's loopback
        {"localhost:9464", false, false, false, false, 0},
        {"127.0.0.1", false, false, false, false, 0},
        {"127.0.0.1:65536", false, false, false, false, 0},
        {"127.0.0.1:+80", false, false, false, false, 0},
        {"010.0.0.1:80", false, false, false, false, 0},
        {"10.0.1:80", false, false, false, false, 0},
        {"::1:9464", false, false, false, false, 0},
        {"[::1:9464", false, false, false, false, 0},
        {"[]:9464", false, false, false, false, 0},
        {":9464", false, false, false, false, 0},
    };
    for (const AddressCase &c : cases) {
        const std::optional<ListenAddress> address = ListenAddress::parse(c.text);
        ASSERT_EQ(address.has_value(), c.valid) << c.text;
        if (!address)
            continue;
        EXPECT_EQ(address->ipv6(), c.ipv6) << c.text;
        EXPECT_EQ(address->loopback(), c.loopback) << c.text;
        EXPECT_EQ(address->any(), c.any) << c.text;
        const auto *in = reinterpret_cast<const sockaddr_in *>(address->address());
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(address->address());
        EXPECT_EQ(ntohs(c.ipv6 ? in6->sin6_port : in->sin_port), c.port) << c.text;
        EXPECT_EQ(address->length(), c.ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in)) << c.text;
    }
}

} // namespace
} // namespace svglogger
