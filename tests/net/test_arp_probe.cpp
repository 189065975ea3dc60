// SPDX-License-Identifier: GPL-3.0-or-later
// Reading arping's output: outputs captured from iputils arping 20221126 in a lab namespace.
#include "net/arp_probe.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

TEST(ArpingReplies, EveryReplyFromTheAddressCountsOnce)
{
    struct Case {
        const char* name;
        const char* output;
        QStringList macs;
        bool asked = true;
    };
    const Case cases[] = {
        {"one device, two requests",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]  0.550ms\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]  0.812ms\n"
         "Sent 2 probes (2 broadcast(s))\n"
         "Received 2 response(s)\n",
         {u"76:a8:65:6f:ed:d3"_s}},
        {"two devices at one address",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]  0.623ms\n"
         "Unicast reply from 192.168.50.20 [E2:A7:CC:B1:63:56]  5.623ms\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]  0.702ms\n"
         "Unicast reply from 192.168.50.20 [E2:A7:CC:B1:63:56]  0.931ms\n"
         "Sent 2 probes (2 broadcast(s))\n"
         "Received 4 response(s)\n",
         {u"76:a8:65:6f:ed:d3"_s, u"e2:a7:cc:b1:63:56"_s}},
        {"a broadcast reply",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "Broadcast reply from 192.168.50.20 [00:1A:2B:3C:4D:5E]  1.020ms\n",
         {u"00:1a:2b:3c:4d:5e"_s}},
        {"nobody",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "Sent 1 probes (1 broadcast(s))\n"
         "Received 0 response(s)\n",
         {}},
        {"another run's header",
         "ARPING 192.168.50.200 from 192.168.50.10 br0\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]  0.550ms\n",
         {u"76:a8:65:6f:ed:d3"_s},
         false},
        // A reply for another address (a proxy, a late answer to an earlier run) is not one.
        {"another address",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "Unicast reply from 192.168.50.200 [76:A8:65:6F:ED:D3]  0.550ms\n"
         "Unicast reply from 192.168.50.2 [E2:A7:CC:B1:63:56]  0.550ms\n",
         {}},
        {"a line that only mentions a reply",
         "ARPING 192.168.50.20 from 192.168.50.10 br0\n"
         "  Unicast reply from 192.168.50.20 [76:A8:65:6F:ED:D3]\n"
         "Unicast reply from 192.168.50.20 [76:A8:65:6F:ED]  0.550ms\n",
         {}},
        {"arping's own failure", "arping: Device nonex not available.\n", {}, false},
        // Exit code 1, as for no reply: only the missing header tells them apart.
        {"a refused option", "", {}, false},
    };
    for (const Case& c : cases) {
        const QString output = QString::fromUtf8(c.output);
        EXPECT_EQ(arpingReplies(output, u"192.168.50.20"_s), c.macs) << c.name;
        EXPECT_EQ(arpingAsked(output, u"192.168.50.20"_s), c.asked) << c.name;
    }
}

} // namespace
