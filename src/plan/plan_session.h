// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/capture_mark.h"
#include "net/local_networks.h"
#include "plan/plan.h"
#include "plan/plan_results.h"
#include "plan/row_verifier.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class PlanTarget;
class TUDPServer;

// A plan and the life of its rows, from the check before sending to the verdict after:
// check, confirm a conflict, send through the download command, watch, verdict. Every step
// that waits (a probe, a box) holds copies of its row and of the plan's path, never
// references into a plan that may be replaced meanwhile; a result is written to the results
// file of the plan it came from. No plan replaces this one while a row is checked or sent.
class PlanSession : public QObject
{
    Q_OBJECT
public:
    PlanSession(PlanTarget& page, TUDPServer& udp, RowVerifier& verifier,
                QObject* parent = nullptr);
    ~PlanSession() override;

    // Now, as the results file records it; the clock unless replaced.
    void setClock(std::function<QString()> clock) { clock_ = std::move(clock); }
    // Whether the window is connected: only then are a row's addresses probed.
    void setConnectedCheck(std::function<bool()> connected) { connected_ = std::move(connected); }
    // The laptop's addresses, which tell the card a row was sent from; the interfaces' unless
    // replaced.
    void setAddressSource(std::function<QList<LocalAddress>()> source)
    {
        laptop_ = std::move(source);
    }
    // Where the packet just sent went in the capture being recorded; none unless set.
    void setCaptureMark(std::function<CaptureMark()> mark) { captureMark_ = std::move(mark); }
    // Who answers the checks and watches from now on; it must outlive the session.
    void setVerifier(RowVerifier& verifier) { verifier_ = &verifier; }

    // Takes the plan read from path with what its results file says. Refused (false) while
    // a row is checked or sent.
    bool replace(const QString& path, const Plan& plan, const QList<PlanResult>& results);
    // A pressed row is being checked, confirmed or sent.
    bool busy() const { return busy_; }
    const Plan& plan() const { return plan_; }
    const QString& path() const { return path_; }

    // The state the table shows for a row: 待发送, 检查中, 冲突 <MAC>, 已发送 <time>, a verdict...
    QString state(int index) const;
    // The last result of the row, if it was ever sent or tried.
    std::optional<PlanResult> latest(int index) const;
    // The first row after the given one that can be sent and is still to be sent, wrapping
    // round once; -1 for none.
    int nextRow(int after) const;
    // The row can be pressed now.
    bool pressable(int index) const;
    int indexOfKey(const QString& key) const;

    // Checks the row's addresses ahead of a press, so that a conflict shows early.
    void lookAhead(int index);
    // Checks, asks when another device holds the new address, sends, watches.
    void press(int index);

Q_SIGNALS:
    void rowChanged(int index);
    void busyChanged(bool busy);
    // The row was handed to the socket: the next one may be picked.
    void rowSent(int index);

private:
    // A pressed or looked-at row, by value: what it was when the step began.
    struct Ticket {
        int generation = 0;
        QString path;
        PlanRow row;
        QString key;
    };
    Ticket ticket(int index) const;
    std::optional<RowAddresses> addresses(const PlanRow& row) const;
    bool current(const Ticket& t) const { return t.generation == generation_; }
    void checked(const Ticket& t, bool pressed, const RowAddresses& row, const BeforeSend& before);
    // Asks the operator about each doubt (its text, its box) the check raised; false when one
    // was declined, which is recorded. what: the doubts confirmed.
    bool confirmed(const Ticket& t, const QList<std::pair<QString, QString>>& doubts,
                   QString& what);
    void send(const Ticket& t, const BeforeSend& before, const QString& doubts);
    // A result of the row with what every line of it tells: the plan's MAC and remarks.
    PlanResult resultOf(const Ticket& t) const;
    void watch(const Ticket& t, const PlanResult& result, const BeforeSend& before);
    void record(const QString& path, const PlanResult& result);
    void setBusy(bool busy);
    void changed(const QString& key);
    // The row's device was sent its packet (its last try did not fail).
    bool sentAlready(const QString& key) const;

    PlanTarget& page_;
    TUDPServer& udp_;
    RowVerifier* verifier_;
    std::function<QString()> clock_;
    std::function<bool()> connected_;
    std::function<QList<LocalAddress>()> laptop_;
    std::function<CaptureMark()> captureMark_;
    QString path_;
    Plan plan_;
    int generation_ = 0;
    bool busy_ = false;
    QHash<QString, PlanResult> latest_; // last result of each device, by its row's content
    QHash<QString, QString> passing_;   // a state shown until a check ends: 检查中, 冲突
};
