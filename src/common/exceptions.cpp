// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"

#include <utility>

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8())
{
}
