// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <cstdint>
#include <functional>
#include <utility>

// The addresses datagrams came from lately, each once, the latest first: where a device that
// took an address of its own choosing may have spoken from. Only the last Kept are kept.
class HeardSources
{
public:
    static constexpr int Kept = 32;

    // clock: milliseconds on a steady clock; the monotonic one unless replaced.
    explicit HeardSources(std::function<int64_t()> clock = {});

    // Notes a datagram from address (host byte order), now.
    void heard(uint32_t address);
    // The sources heard within the last withinMs, the latest first.
    QList<uint32_t> within(int64_t withinMs) const;

private:
    std::function<int64_t()> clock_;
    QList<std::pair<uint32_t, int64_t>> latest_; // address, when; the latest first
};
