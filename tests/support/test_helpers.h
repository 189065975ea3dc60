// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small pieces every test file would otherwise write for itself.
#include "common/fault.h"
#include "support/test_print.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>

// The fault of a result, or none when it holds a value: a check reads "no fault" or "this one".
template <class T> std::optional<Fault> faultOf(const Expected<T>& result)
{
    if (result)
        return std::nullopt;
    return result.error();
}

// The test binary's exit code after RUN_ALL_TESTS: 1 on any failure; 77 (skipped, for CTest's
// SKIP_RETURN_CODE) when cases skipped and none failed. Under CI=true a skip not listed in
// tests/allowed_skips.txt is a failure.
int testExitCode(int runResult);

// Bytes from hex digits; spaces between them are for the reader ("48 C0A801C8").
QByteArray hex(const char* spaced);

// Writes a whole file, replacing one that is there; false when it could not be written.
bool writeTestFile(const QString& path, const QByteArray& bytes);

// Names a parameterised case after its `name` field.
struct CaseName {
    template <class P> std::string operator()(const ::testing::TestParamInfo<P>& info) const
    {
        return std::string(info.param.name);
    }
};

// The named child of type T, with a test failure when there is none.
template <class T> T* findNamed(const QObject* parent, const char* name)
{
    auto* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Fails the running test when a top-level widget outlives it (after pending deletions run):
// each test starts with no window of an earlier one.
void expectNoTopLevelWidgetsLeft();
