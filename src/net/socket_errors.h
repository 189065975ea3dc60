#pragma once

#include <QString>

// The text that follows "Socket Error # <code>\r\n" for a system error code (errno) or the
// resolver's HostNotFoundCode; empty for a code without a text.
QString socketErrorText(int code);
