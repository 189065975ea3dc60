// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulator's run: listens on the device's and the server's endpoints, prints every
// datagram read back into its fields, and checks it against the next expected packet.

#include "capture/capture_writer.h"
#include "sim/address_move.h"
#include "sim/sim_options.h"
#include "sim/sim_socket.h"

#include <QJsonObject>
#include <QList>
#include <functional>

class SignalPipe;

// Where the run's lines go and what time it is; standard output, standard error and the clock
// unless replaced.
struct SimOutput {
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
    std::function<QString()> now;

    static SimOutput standard();
};

class Simulator
{
public:
    Simulator(SimOptions options, QList<QJsonObject> expected, SignalPipe& stopSignals,
              SimOutput output = SimOutput::standard());

    // Binds both endpoints and runs until the run ends; the exit code.
    int run();
    // Prints one datagram and checks it; an exit code when the run ends here, else -1.
    int handle(const SimEndpoint& endpoint, const Arrival& arrival);

private:
    int loop();
    bool expecting() const { return !o_.expectFile.isEmpty(); }
    int finish(const QString& why);
    void record(const SimEndpoint& endpoint, const Arrival& arrival);
    void rebootInto(const QString& newIP);

    SimOptions o_;
    QList<QJsonObject> expected_;
    SignalPipe& stopSignals_;
    SimOutput output_;
    SimEndpoint endpoints_[2];
    CaptureWriter capture_;
    qint64 received_ = 0;
    qsizetype matched_ = 0;
    PendingReboot reboot_;
};
