// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Devices on a wire of their own, for tests that already run inside the lab namespace
// (tests/lab.sh): a bridge carries LabSubnet, and each device is a network namespace of its
// own joined to it by a veth pair, so the kernel resolves its address with real ARP. Nothing
// here leaves the namespaces the test run made.
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class LabDevices
{
public:
    // The subnet of the bridge and the laptop's address on it.
    static constexpr const char* LabSubnet = "192.168.50.0/24";
    static constexpr const char* LaptopAddress = "192.168.50.10";

    // Empty when the bridge is up; else why not (outside the lab namespace nothing is made).
    QString start();
    ~LabDevices();

    // How long the laptop's kernel trusts a confirmed MAC before it goes STALE (15 to 45 s
    // by default): tests of a swapped device shorten it to see that case in seconds.
    void setReachableMs(int ms);
    // A new device namespace holding address (/24) on its eth0; its index, or -1 when it could
    // not be made.
    int add(const QString& address);
    // The MAC of a device's eth0, lower case with colons.
    QString mac(int device) const;
    // Runs a program inside the device's namespace; the process ends with this object.
    QProcess* run(int device, const QString& program, const QStringList& arguments);
    // Unplugs the device (its link goes down; the laptop's kernel may still remember it).
    void unplug(int device);

private:
    struct Device {
        std::unique_ptr<QProcess> holder; // keeps the namespace alive
        QString mac;
    };
    QString inside(int device, const QStringList& command) const;
    QList<std::shared_ptr<Device>> devices_;
    QList<std::shared_ptr<QProcess>> programs_;
    bool bridge_ = false;
};

// Runs a command to its end; its standard output, or empty with a test failure noted in why.
QString runCommand(const QString& program, const QStringList& arguments, QString* why = nullptr);
