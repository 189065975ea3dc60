// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/resource.h>
#include <unistd.h>

// While it lives, the process can start no thread: it runs as an ordinary user with a process
// limit of zero (root is exempt from the limit). Needs root; engaged() says whether it took.
// Everything is put back when it goes out of scope, also when a test stops early.
class NoNewThreads
{
public:
    NoNewThreads()
    {
        if (::geteuid() != 0 || ::getrlimit(RLIMIT_NPROC, &saved_) != 0)
            return;
        if (::setresuid(65534, 65534, 0) != 0)
            return;
        rlimit none = saved_;
        none.rlim_cur = 0;
        engaged_ = ::setrlimit(RLIMIT_NPROC, &none) == 0;
        if (!engaged_)
            restoreUser();
    }
    ~NoNewThreads()
    {
        if (engaged_) {
            ::setrlimit(RLIMIT_NPROC, &saved_);
            restoreUser();
        }
    }
    NoNewThreads(const NoNewThreads&) = delete;
    NoNewThreads& operator=(const NoNewThreads&) = delete;

    bool engaged() const { return engaged_; }

private:
    static void restoreUser()
    {
        if (::setresuid(0, 0, 0) != 0)
            ::_exit(3); // a test process left as another user would poison every later test
    }

    rlimit saved_{};
    bool engaged_ = false;
};
