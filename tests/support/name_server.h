// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Name lookups against a name server of the test's choosing. Only inside the namespace that
// tests/lab.sh makes for the run: nothing a lookup sends then leaves the machine.

#include <QByteArray>
#include <QTemporaryDir>
#include <atomic>
#include <string>
#include <thread>

// Covers /etc/resolv.conf, for the calling thread and the threads it starts from then on, with
// one naming only nameServer (the resolver's default time-outs: 5 s, two tries). The thread
// gets a private mount namespace of its own; the host's file is never touched.
class ResolverSandbox
{
public:
    explicit ResolverSandbox(const char* nameServer);
    ~ResolverSandbox();
    ResolverSandbox(const ResolverSandbox&) = delete;
    ResolverSandbox& operator=(const ResolverSandbox&) = delete;

    bool ready() const { return ready_; }
    const std::string& why() const { return why_; }

private:
    QTemporaryDir dir_;
    bool ready_ = false;
    std::string why_;
};

// A name server that reads every query and never answers.
class SilentNameServer
{
public:
    explicit SilentNameServer(const char* address);
    ~SilentNameServer();
    SilentNameServer(const SilentNameServer&) = delete;
    SilentNameServer& operator=(const SilentNameServer&) = delete;

    bool listening() const { return fd_ >= 0; }
    int queries() const { return queries_.load(); }

private:
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    std::thread thread_;
};

// GTEST_SKIP outside the lab namespace or where the sandbox cannot be made; under CI=true
// both must be there.
#define REQUIRE_RESOLVER_SANDBOX(sandbox)                                                          \
    do {                                                                                           \
        std::string why_ = qEnvironmentVariable("LAB_INSIDE") == u"1"                              \
                               ? (sandbox).why()                                                   \
                               : std::string("not inside the lab namespace (tests/lab.sh)");       \
        if (qEnvironmentVariable("LAB_INSIDE") != u"1" || !(sandbox).ready()) {                    \
            if (qEnvironmentVariable("CI") == u"true")                                             \
                FAIL() << why_;                                                                    \
            GTEST_SKIP() << why_;                                                                  \
        }                                                                                          \
    } while (0)
