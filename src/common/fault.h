// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <tl/expected.hpp>

#include <utility>

// Why something below the pages could not be done: validating, building, decoding, reading,
// appending. The message is the text the operator is shown; `field` names the input it is about
// (an index into the table of the thing that failed, for example a ParamField), and `code` the
// system's error number where one caused it.
struct Fault {
    QString message;
    int field = -1;
    int code = 0;

    bool operator==(const Fault&) const = default;
};

// A value, or the fault that kept it from being made.
template <class T> using Expected = tl::expected<T, Fault>;

inline tl::unexpected<Fault> fail(QString message, int field = -1, int code = 0)
{
    return tl::unexpected<Fault>(Fault{std::move(message), field, code});
}
