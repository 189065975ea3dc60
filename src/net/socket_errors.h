// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The text that follows "Socket Error # <code>\r\n" for a system error code (errno) or the
// resolver's HostNotFoundCode: the traditional socket-layer text of the same meaning, or the
// code's own meaning; empty only for a code that is neither (0, negative, unknown).
QString socketErrorText(int code);
