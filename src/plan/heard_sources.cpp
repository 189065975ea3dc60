// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/heard_sources.h"

#include <chrono>

HeardSources::HeardSources(std::function<int64_t()> clock) : clock_(std::move(clock))
{
    if (!clock_) {
        clock_ = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    }
}

void HeardSources::heard(uint32_t address)
{
    const int64_t now = clock_();
    for (auto it = latest_.begin(); it != latest_.end(); ++it) {
        if (it->first == address) {
            latest_.erase(it);
            break;
        }
    }
    latest_.prepend({address, now});
    if (latest_.size() > Kept)
        latest_.removeLast();
}

QList<uint32_t> HeardSources::within(int64_t withinMs) const
{
    const int64_t from = clock_() - withinMs;
    QList<uint32_t> addresses;
    for (const auto& [address, when] : latest_) {
        if (when < from)
            break; // the rest were heard earlier still
        addresses.append(address);
    }
    return addresses;
}
