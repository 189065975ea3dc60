// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "window/globals.h"
#include "console/pages/console_page.h"
#include "console/pages/monitor_memo.h"
#include "net/udp_server.h"
#include "support/fake_dialogs.h"
#include "support/test_helpers.h"
#include "support/udp_probe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

// A test page wired to a real endpoint as the main window wires it: the endpoint's read
// event calls the page's handler on the event thread.
class ConsoleFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        globals.ShowByteCount = 53;
        udp = std::make_unique<TUDPServer>();
        udp->SetDefaultPort(freeUdpPort());
        page = std::make_unique<ConsolePage>(globals, *udp);
        udp->OnUDPRead = [this](TUDPServer& sender, const QByteArray& data,
                                TSocketHandle& binding) {
            page->UDPServerUDPRead(sender, data, binding);
        };
        page->resize(1000, 450);
        page->show();
    }

    void TearDown() override
    {
        // The endpoint goes first: its close may still deliver to the page.
        udp.reset();
        page.reset();
        expectNoTopLevelWidgetsLeft();
    }

    template <class T> T* child(const char* name) { return findNamed<T>(page.get(), name); }

    QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
    QString lbNum() { return child<QLabel>("LbNum")->text(); }
    MonitorMemo* memo() { return child<MonitorMemo>("Memo1"); }

    // Opens the endpoint on its free port and returns that port.
    int listen() { return udp->AcquireBinding().Port; }

    FakeDialogs fakeDialogs;
    MainGlobals globals;
    std::unique_ptr<TUDPServer> udp;
    std::unique_ptr<ConsolePage> page;
};
