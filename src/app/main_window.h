// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "window/globals.h"

#include <QWidget>
#include <cstdint>
#include <memory>

class TUDPServer;
class HeardSources;
class ParamPage;
class ServerPage;
class ConsolePage;
class QTabWidget;
class QLineEdit;
class QLabel;

namespace Ui
{
class TfrmMain;
}

// The program's one window: the top bar with connect, disconnect, local port, password and
// close, and the four pages. Owns the UDP endpoint and the window-wide state.
class TfrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    MainGlobals globals;
    TUDPServer& UDPServer() { return *udpServer_; }

    // Dotted quad to four bytes; raises the conversion error on malformed text.
    void IPstrToByte(const QString& text, std::uint8_t& b1, std::uint8_t& b2, std::uint8_t& b3,
                     std::uint8_t& b4);

public Q_SLOTS:
    void FormShow();
    void SpeedButton8Click();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;
    // A running export is not abandoned without a word: the operator chooses to wait for it
    // or to cancel it, keeping the earlier file, as the export's own cancel does.
    void closeEvent(QCloseEvent* event) override;

private:
    void connectEndpoint();
    void showConnectionState(const QString& state);

    std::unique_ptr<Ui::TfrmMain> ui_;
    std::unique_ptr<TUDPServer> udpServer_;
    std::unique_ptr<HeardSources> heard_; // who datagrams came from, for the plan's watches
    ParamPage* paramPage_ = nullptr;
    ServerPage* serverPage_ = nullptr;
    ConsolePage* consolePage_ = nullptr;
    bool shown_ = false;
};
