// SPDX-License-Identifier: GPL-3.0-or-later
// Runs inside tests/lab.sh's namespace, whose default route it deletes: 10.x is then on no
// network at all, and sends there fail with ENETUNREACH.
#include "support/test_helpers.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdlib>
#include <functional>
#include <ostream>

using namespace Qt::StringLiterals;

namespace
{

using testsupport::PrintTo;

bool run(const char* command)
{
    return std::system(command) == 0;
}

class NoRoute : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        // Only in the lab's own namespace: lab.sh put 192.168.1.200 on the loopback.
        if (!run("ip -4 addr show dev lo | grep -q 192.168.1.200"))
            GTEST_SKIP() << "not inside the lab namespace";
        // Also when an earlier case in this process left the route deleted.
        ASSERT_TRUE(run("ip route del default 2>/dev/null; test -z \"$(ip route show default)\""));
        connectOn(7520);
        ASSERT_TRUE(fake.boxes.empty());
    }

public:
    // Presses the test console's send with the given destination.
    void consoleSend(const QString& host)
    {
        showPage(2);
        edit("edtIP")->setText(host);
        edit("edtPort")->setText(u"7500"_s);
        QTest::mouseClick(child<QPushButton>("Button12"), Qt::LeftButton);
    }
    // Presses the parameter page's download for the first device type.
    void download(const QString& host)
    {
        showPage(0);
        edit("edtCurrIP")->setText(host);
        auto* type = child<QComboBox>("cmbType");
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Down);
        QTest::mouseClick(child<QToolButton>("SpeedButton1"), Qt::LeftButton);
    }
};

struct UnreachableCase {
    const char* name;
    std::function<void(NoRoute&)> press;
    QString text;
    QString caption;
    int flags;
};

class Unreachable : public NoRoute, public ::testing::WithParamInterface<UnreachableCase>
{
protected:
    void pressIt() { GetParam().press(*this); }
};

TEST_P(Unreachable, TheCommandSaysSoAndTheWindowGoesOn)
{
    const UnreachableCase& c = GetParam();
    pressIt();
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, c.text);
    EXPECT_EQ(fake.boxes[0].caption, c.caption);
    EXPECT_EQ(fake.boxes[0].flags, c.flags);
    // A failed send leaves the endpoint open on its port.
    EXPECT_TRUE(window->UDPServer().Active());
    EXPECT_EQ(window->UDPServer().AcquireBinding().Port, 7520);
    EXPECT_TRUE(unlocked());

    // With a route back the same command goes through without a word.
    ASSERT_TRUE(run("ip route add default via 192.168.1.1 dev veth0"));
    fake.boxes.clear();
    pressIt();
    if (c.flags == MB::Error) {
        EXPECT_TRUE(fake.boxes.empty());
    } else {
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, u"设备设置完成！"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lab, Unreachable,
    ::testing::Values(
        UnreachableCase{"consoleSend", [](NoRoute& w) { w.consoleSend(u"10.1.2.3"_s); },
                        u"Socket Error # 101\r\nNetwork is unreachable."_s, appTitle(), MB::Error},
        UnreachableCase{"parameterDownload", [](NoRoute& w) { w.download(u"10.1.2.3"_s); },
                        u"设备设置错误！"_s, infoCaption(), MB::Information}),
    CaseName());

// A failed server update says so with the socket's reason: no completion, no summary, no log,
// and the button stays enabled for another try.
TEST_F(NoRoute, ServerUpdateReportsTheFailureAndKeepsItsButton)
{
    QTemporaryDir appDir;
    window->globals.AppDir = appDir.path() + u'/';
    showPage(1);
    edit("edtIPCurr")->setText(u"10.1.2.3"_s);
    auto* button = child<QWidget>("sbUpdateIP");
    QTest::mouseClick(button, Qt::LeftButton);

    ASSERT_EQ(fake.boxes.size(), 3u);
    EXPECT_EQ(fake.boxes[0].flags, MB::Confirmation);
    EXPECT_EQ(fake.boxes[1].flags, MB::Confirmation);
    EXPECT_EQ(fake.boxes[2].flags, MB::Information);
    EXPECT_EQ(fake.boxes[2].caption, infoCaption());
    EXPECT_EQ(fake.boxes[2].text,
              u"更新服务器地址错误！\rSocket Error # 101\r\nNetwork is unreachable."_s);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(child<QLabel>("LbMess")->text().isEmpty());
    EXPECT_FALSE(QFile::exists(appDir.filePath(u"IPSet.Ini"_s)));
}

} // namespace
