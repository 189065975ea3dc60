// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

struct MainGlobals;
struct ServerFields;
class TUDPServer;

namespace Ui
{
class ServerPage;
}

// The server address page: the server's present address and port, its new address, mask and
// gateway octet by octet, its connection name, and the update button.
class ServerPage : public QWidget
{
    Q_OBJECT
public:
    ServerPage(MainGlobals& globals, TUDPServer& udp, QWidget* parent = nullptr);
    ~ServerPage() override;

    // The summary label's caption as set, with its CR characters (the label shows them as
    // line breaks).
    QString lbMessCaption() const;

public Q_SLOTS:
    void sbUpdateIPClick();

private:
    void updateServer();
    ServerFields readFields() const;
    // The failure's text when the packet could not be sent.
    std::optional<QString> sendPacket();
    void setSummary(const QString& caption);
    QWidget* updateButton() const;

    std::unique_ptr<Ui::ServerPage> ui_;
    MainGlobals& globals_;
    TUDPServer& udp_;
};
