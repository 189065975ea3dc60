// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plan/row_verifier.h"

#include <functional>
#include <utility>
#include <vector>

// Answers when the test says so, as a probe that takes its time.
struct FakeVerifier final : RowVerifier {
    std::vector<std::pair<RowAddresses, std::function<void(const BeforeSend&)>>> checks;
    std::vector<std::pair<QString, std::function<void(const AfterSend&)>>> watches;

    void checkBefore(const RowAddresses& row, std::function<void(const BeforeSend&)> done) override
    {
        checks.emplace_back(row, std::move(done));
    }
    void watchAfter(const QString& key, const RowAddresses&, const BeforeSend&,
                    std::function<void(const AfterSend&)> done) override
    {
        watches.emplace_back(key, std::move(done));
    }
};
