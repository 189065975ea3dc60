// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How GoogleTest shows the values the tests compare. Every test translation unit sees this
// header (tests/support/CMakeLists.txt force-includes it), so no two of them print a QString
// differently.
#include <QByteArray>
#include <QString>
#include <ostream>

// GoogleTest finds a printer by argument-dependent lookup: it has to live in Qt's namespace.
QT_BEGIN_NAMESPACE
// As quoted text instead of its UTF-16 units.
void PrintTo(const QString& text, std::ostream* os);
// As a quoted string with every byte outside printable ASCII written \xHH, and its size.
void PrintTo(const QByteArray& bytes, std::ostream* os);
QT_END_NAMESPACE

namespace testsupport
{

// A case table's row prints by its name. Case structs live in a test file's unnamed namespace,
// which argument-dependent lookup searches alone: such a file says `using testsupport::PrintTo;`
// in it.
template <class T>
requires requires(const T& t)
{
    t.name;
}
void PrintTo(const T& c, std::ostream* os)
{
    *os << c.name;
}

} // namespace testsupport
