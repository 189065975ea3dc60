#pragma once

#include <QString>
#include <QWidget>
#include <memory>

struct TMainGlobals;
struct TServerFields;
class TUDPServer;

namespace Ui
{
class TServerPage;
}

// The server address page: the server's present address and port, its new address, mask and
// gateway octet by octet, its connection name, and the update button.
class TServerPage : public QWidget
{
    Q_OBJECT
public:
    TServerPage(TMainGlobals& globals, TUDPServer& udp, QWidget* parent = nullptr);
    ~TServerPage() override;

    // The summary label's caption as set, with its CR characters (the label shows them as
    // line breaks).
    QString LbMessCaption() const;

public Q_SLOTS:
    void sbUpdateIPClick();

private:
    void updateServer();
    TServerFields readFields() const;
    void sendPacket();
    void setSummary(const QString& caption);
    QWidget* updateButton() const;

    std::unique_ptr<Ui::TServerPage> ui;
    TMainGlobals& globals_;
    TUDPServer& udp_;
};
