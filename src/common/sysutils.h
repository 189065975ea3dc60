// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fault.h"

#include <QByteArray>
#include <QString>

// Integer conversion used for every number read from a field: code-32 blanks at the start,
// one optional sign, decimal digits or hex digits after "$", "x", "X", "0x" or "0X", digits
// to the end. Decimal must fit a signed 32-bit value; hex may use all 32 bits (two's
// complement). Raises EConvertError "'<text>' is not a valid integer value".
int strToInt(const QString& text);

// The same conversion, the fault carrying that message instead of raising it.
Expected<int> convertInt(const QString& text);

// The same conversion without raising; false when the text is not an integer.
bool tryStrToInt(const QString& text, int& value);

// Signed decimal, no leading zeros, no grouping.
QString intToStr(int value);

// Removes characters with codes 0 to 32 at both ends.
QString trim(const QString& text);

// Code page 936 (GBK) form of a text and back.
QByteArray toCp936(const QString& text);
QString fromCp936(const QByteArray& bytes);

// Byte length of the code page 936 form; a Chinese character counts 2.
int cp936Length(const QString& text);

// Text of the framework's error box: "." appended unless the message is empty or its last
// character (a whole double-byte one where it is one) compares at or below ".".
QString errorBoxText(const QString& message);
