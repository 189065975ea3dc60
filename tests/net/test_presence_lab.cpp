// SPDX-License-Identifier: GPL-3.0-or-later
// The presence probe against real kernel ARP: device namespaces on a bridge inside the lab
// namespace.
#include "net/net_address.h"
#include "net/presence_probe.h"
#include "support/lab_devices.h"
#include "support/test_helpers.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace
{

uint32_t ip(const char* text)
{
    return *parseDottedQuad(QString::fromLatin1(text));
}

class PresenceLab : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString why = lab.start();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
    }
    LabDevices lab;
    KernelPresenceProbe probe;
};

TEST_F(PresenceLab, AnswersPresentAbsentAndOffSubnet)
{
    const int device = lab.add(u"192.168.50.20"_s);
    ASSERT_GE(device, 0);
    ASSERT_FALSE(lab.mac(device).isEmpty());
    struct Case {
        const char* address;
        Presence expected;
        int maxMs;
    } cases[] = {
        {"192.168.50.20", {PresenceKind::Present, lab.mac(device)}, 1000},
        {"192.168.50.21", {PresenceKind::NoAnswer, {}}, 1500},
        {"10.99.0.1", {PresenceKind::NotLocal, {}}, 50},
    };
    for (const Case& c : cases) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(probe.probe(ip(c.address)), c.expected) << c.address;
        EXPECT_LT(clock.elapsed(), c.maxMs) << c.address;
    }
}

// The factory address case: one device unplugged, the next plugged in at the same address.
// The kernel still remembers the first MAC (STALE); the probe must not report it.
TEST_F(PresenceLab, SwappedDeviceIsNotReportedByTheOldMac)
{
    lab.setReachableMs(500);
    // Another device keeps the bridge's carrier up: with none, the kernel would drop its
    // entries at the unplugging and the case would not arise.
    ASSERT_GE(lab.add(u"192.168.50.31"_s), 0);
    const int first = lab.add(u"192.168.50.30"_s);
    ASSERT_EQ(probe.probe(ip("192.168.50.30")), (Presence{PresenceKind::Present, lab.mac(first)}));
    lab.unplug(first);
    const int second = lab.add(u"192.168.50.30"_s);
    QThread::msleep(2000); // past the reachable time: the entry is STALE now
    Presence seen;
    for (int attempt = 0; attempt < 3 && seen.kind != PresenceKind::Present; ++attempt) {
        seen = probe.probe(ip("192.168.50.30"));
        ASSERT_NE(seen.mac, lab.mac(first)) << "attempt " << attempt;
    }
    EXPECT_EQ(seen, (Presence{PresenceKind::Present, lab.mac(second)}));
}

} // namespace
