#include "net/socket_stack.h"

int TSocketStack::count_ = 0;

std::mutex& TSocketStack::Lock()
{
    static std::mutex lock;
    return lock;
}

void TSocketStack::Enter()
{
    std::lock_guard guard(Lock());
    ++count_;
}

void TSocketStack::Leave()
{
    std::lock_guard guard(Lock());
    if (count_ > 0)
        --count_;
}

int TSocketStack::EndpointCount()
{
    std::lock_guard guard(Lock());
    return count_;
}
