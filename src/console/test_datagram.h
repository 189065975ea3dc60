// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// Size of the sender's byte array.
constexpr int TestDatagramCapacity = 10;

// Texts of the sender's fields as the operator left them.
struct TestDatagramFields {
    QString byteCount;                               // edtNum: new ShowByteCount
    std::array<QString, TestDatagramCapacity> bytes; // edt1 .. edt10
    QString count;                                   // cmbData: how many bytes go out
    QString port;                                    // edtPort
    QString host;                                    // edtIP, used unchanged
};

// What the send command hands to the endpoint.
struct TestDatagram {
    QString host;
    int port = 0;
    QByteArray bytes; // the first count bytes of the ten
};

// Converts the fields in the command's fixed order: the byte count first (stored into
// showByteCount at once, so it stays stored when a later field fails), then the ten bytes
// (low eight bits each), the count, the port; the host is taken as typed. A text that is
// not an integer raises EConvertError and ends the conversion there.
TestDatagram buildTestDatagram(const TestDatagramFields& fields, int& showByteCount);
