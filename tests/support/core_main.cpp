// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/test_helpers.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of the logic and the socket layer run with a core application, so queued calls to the
// event thread work where a test needs them.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return testExitCode(RUN_ALL_TESTS());
}
