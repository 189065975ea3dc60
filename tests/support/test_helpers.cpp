// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/test_helpers.h"

#include <QFile>
#include <algorithm>
#include <fnmatch.h>
#include <fstream>
#include <iostream>
#include <vector>

bool writeTestFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray hex(const char* spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

namespace
{

// "Suite.Case" patterns from the allowed list, comments and reasons cut off.
std::vector<std::string> allowedSkips()
{
    std::vector<std::string> patterns;
    std::ifstream in(ALLOWED_SKIPS_FILE);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto reason = line.find(" -- ");
        if (reason != std::string::npos)
            patterns.push_back(line.substr(0, reason));
    }
    return patterns;
}

} // namespace

int testExitCode(int runResult)
{
    const auto* unit = ::testing::UnitTest::GetInstance();
    if (runResult != 0 || unit->failed_test_count() > 0)
        return 1;
    if (unit->skipped_test_count() == 0)
        return 0;
    if (qEnvironmentVariable("CI") != u"true")
        return 77;
    const auto allowed = allowedSkips();
    bool unlisted = false;
    for (int s = 0; s < unit->total_test_suite_count(); ++s) {
        const auto* suite = unit->GetTestSuite(s);
        for (int t = 0; t < suite->total_test_count(); ++t) {
            const auto* info = suite->GetTestInfo(t);
            if (!info->result()->Skipped())
                continue;
            const std::string name = std::string(suite->name()) + '.' + info->name();
            const bool listed = std::any_of(allowed.begin(), allowed.end(), [&](const auto& p) {
                return ::fnmatch(p.c_str(), name.c_str(), 0) == 0;
            });
            if (!listed) {
                std::cerr << "CI=true: " << name
                          << " skipped and is not in tests/allowed_skips.txt\n";
                unlisted = true;
            }
        }
    }
    return unlisted ? 1 : 77;
}
