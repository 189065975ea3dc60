// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

// Received bytes the monitor can show per datagram: its receive buffer holds this many.
constexpr int ReceiveBufferSize = 100;

// Appends the data text of one datagram: for each of the first showByteCount bytes of a
// zeroed 100-byte copy of it, the byte in decimal followed by ",". Counts above 100 show 100;
// 0 or below show nothing. Nothing beyond the datagram or the buffer is read.
void appendDataText(QString& out, QByteArrayView datagram, int showByteCount);

// Appends one list line: the data text alone, or with the sender's address and the ports:
// "IP: <ip> SPort:<port> TPort:<local port>  Data: <data text>".
void appendMonitorLine(QString& out, QByteArrayView datagram, int showByteCount, bool dataOnly,
                       const QString& senderIP, int senderPort, int localPort);

// The same line as a value, for callers that format one line at a time.
QString monitorLine(QByteArrayView datagram, int showByteCount, bool dataOnly,
                    const QString& senderIP = QString(), int senderPort = 0, int localPort = 0);
