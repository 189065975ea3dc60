// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/socket_stack.h"

int TSocketStack::count_ = 0;

std::mutex& TSocketStack::lock()
{
    static std::mutex lock;
    return lock;
}

void TSocketStack::enter()
{
    std::lock_guard guard(lock());
    ++count_;
}

void TSocketStack::leave()
{
    std::lock_guard guard(lock());
    if (count_ > 0)
        --count_;
}

int TSocketStack::endpointCount()
{
    std::lock_guard guard(lock());
    return count_;
}
