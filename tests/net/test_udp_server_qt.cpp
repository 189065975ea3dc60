// SPDX-License-Identifier: GPL-3.0-or-later
// The endpoint with the Qt event thread: deliveries through the application's event loop,
// also inside nested loops such as a modal box's.
#include "net/qt_event_thread.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/udp_probe.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace
{

class QtEndpointTest : public ::testing::Test
{
protected:
    QtEndpointTest()
    {
        server.SetDefaultPort(0);
        server.OnUDPRead = [this](TUDPServer&, const QByteArray& data, TSocketHandle&) {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            EXPECT_EQ(depth, 0) << "a delivery began inside another";
            ++depth;
            received.push_back(data);
            if (extra)
                extra(data);
            --depth;
        };
        server.SetActive(true);
        port = server.AcquireBinding().Port;
    }

    bool waitFor(size_t count, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return received.size() >= count; }, timeoutMs);
    }

    TUDPServer server; // the Qt event thread by default
    int port = 0;
    std::vector<QByteArray> received;
    std::function<void(const QByteArray&)> extra;
    int depth = 0;
    const std::thread::id mainThread = std::this_thread::get_id();
    UdpProbe probe;
    QObject context;
};

TEST_F(QtEndpointTest, DeliversThroughTheEventLoopInOrder)
{
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(probe.sendTo("127.0.0.1", port, QByteArray::number(i)));
    ASSERT_TRUE(waitFor(500, 10000));
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(received[i], QByteArray::number(i));
}

TEST_F(QtEndpointTest, NestedLoopOfAModalBoxServesDeliveries)
{
    // A box opened by some command: its loop turns while datagrams come in.
    bool sawInside = false;
    QTimer::singleShot(0, &context, [&] {
        QEventLoop modal;
        QTimer::singleShot(0, &modal, [&] { probe.sendTo("127.0.0.1", port, "inside"_ba); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &modal, [&] {
            if (!received.empty()) {
                sawInside = true;
                modal.quit();
            }
        });
        poll.start(5);
        QTimer::singleShot(3000, &modal, [&] { modal.quit(); });
        modal.exec();
    });
    ASSERT_TRUE(waitFor(1));
    QTest::qWait(20);
    EXPECT_TRUE(sawInside);
    EXPECT_EQ(received[0], "inside"_ba);
}

TEST_F(QtEndpointTest, HandlerWithANestedLoopIsNotReentered)
{
    extra = [&](const QByteArray& data) {
        if (data != "first"_ba)
            return;
        // Like a box shown from the handler: more datagrams arrive while it is up.
        probe.sendTo("127.0.0.1", port, "second"_ba);
        probe.sendTo("127.0.0.1", port, "third"_ba);
        QEventLoop modal;
        QTimer::singleShot(200, &modal, [&] { modal.quit(); });
        modal.exec();
        EXPECT_EQ(received.size(), 1u) << "delivered inside the handler";
    };
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "first"_ba));
    ASSERT_TRUE(waitFor(3));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1], "second"_ba);
    EXPECT_EQ(received[2], "third"_ba);
}

TEST_F(QtEndpointTest, ThrowingHandlerShowsNothing)
{
    FakeDialogs dialogs;
    extra = [&](const QByteArray& data) {
        if (data == "boom"_ba) {
            depth = 0;
            throw Exception(u"handler failed"_s);
        }
    };
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "boom"_ba));
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "after"_ba));
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(received[1], "after"_ba);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(QtEndpointTest, CloseWhileADeliveryIsQueuedRunsItInsideTheClose)
{
    ASSERT_TRUE(probe.sendTo("127.0.0.1", port, "queued"_ba));
    // Give the listener time to hand it over, without turning the event loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(received.empty());
    server.SetActive(false);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], "queued"_ba);
    QCoreApplication::processEvents();
    EXPECT_EQ(received.size(), 1u);
}

TEST(QtEndpointLifetime, QueuedCallsDieWithTheEndpoint)
{
    int delivered = 0;
    {
        TUDPServer server;
        server.SetDefaultPort(0);
        server.OnUDPRead = [&](TUDPServer&, const QByteArray&, TSocketHandle&) { ++delivered; };
        server.SetActive(true);
        UdpProbe probe;
        probe.sendTo("127.0.0.1", server.AcquireBinding().Port, "x"_ba);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(delivered, 1); // inside the close of the destruction
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 1);
}

// A wait (a name lookup) drops the operator's input, but a box that a queued call opens during
// it (the spool's fault) must still take its answer, or the program hangs in both loops.
TEST(QtEventThreadWait, ABoxOpenedDuringTheWaitTakesItsAnswer)
{
    FakeDialogs fake;
    fake.nestedLoop = true;
    QtEventThread events;
    bool closed = false;
    events.post([&] {
        infoBox(u"写入失败"_s);
        closed = true;
    });
    EXPECT_TRUE(events.runUntil([&] { return closed; }, 5000));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.unanswered, 0) << "the box's key was eaten";
}

// Outside a box the wait still eats what is typed, so no second command starts.
TEST(QtEventThreadWait, InputDuringTheWaitIsDropped)
{
    struct Target : QObject {
        int keys = 0;
        bool event(QEvent* e) override
        {
            keys += e->type() == QEvent::KeyPress;
            return QObject::event(e);
        }
    } target;
    QtEventThread events;
    QCoreApplication::postEvent(&target,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
    int rounds = 0;
    events.runUntil([&] { return ++rounds > 10; }, 2000);
    EXPECT_EQ(target.keys, 0);
}

} // namespace
