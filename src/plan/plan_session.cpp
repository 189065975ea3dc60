// SPDX-License-Identifier: GPL-3.0-or-later
#include "plan/plan_session.h"

#include "common/dialogs.h"
#include "common/guard.h"
#include "net/net_address.h"
#include "plan/plan_target.h"

#include <QDateTime>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace
{

QString stateText(const PlanRow& row, const PlanResult* result, const QString& passing)
{
    if (row.faulty)
        return u"有误："_s + row.fault;
    if (!passing.isEmpty())
        return passing;
    if (!result)
        return u"待发送"_s;
    if (result->declined)
        return result->message; // what the operator declined to send over
    if (!result->sent)
        return u"失败："_s + result->message;
    if (!result->verdict.isEmpty())
        return result->verdict;
    return u"已发送 "_s + result->time.section(u' ', -1); // the time of day
}

const QString Checking = u"检查中"_s;

// Each doubt the check before sending raised, as the row's state says it, with the box that
// asks about it: the device first, then the new address.
QList<std::pair<QString, QString>> doubtsOf(const RowAddresses& row, const BeforeSend& before)
{
    QList<std::pair<QString, QString>> doubts;
    if (!before.mismatch.isEmpty())
        doubts.append(
            {before.mismatch, u"当前设备IP %1 上应答的不是方案中的设备。\n%2\n仍然发送吗？"_s.arg(
                                  row.currentIP, before.mismatch)});
    if (!before.conflict.isEmpty())
        doubts.append({u"冲突 "_s + before.conflict,
                       u"更新后设备IP %1 已被另一台设备（MAC %2）占用。\n仍然发送吗？"_s.arg(
                           row.newIP, before.conflict)});
    return doubts;
}

} // namespace

PlanSession::PlanSession(PlanTarget& page, TUDPServer& udp, RowVerifier& verifier, QObject* parent)
    : QObject(parent), page_(page), udp_(udp), verifier_(&verifier),
      clock_([] { return QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s); }),
      connected_([] { return false; }), laptop_(localAddresses),
      captureMark_([] { return CaptureMark{}; })
{
}

PlanSession::~PlanSession() = default;

bool PlanSession::replace(const QString& path, const Plan& plan, const QList<PlanResult>& results)
{
    if (busy_)
        return false;
    ++generation_;
    path_ = path;
    plan_ = plan;
    latest_.clear();
    passing_.clear();
    for (const PlanResult& r : results) {
        if (!r.key.isEmpty())
            latest_.insert(r.key, r);
    }
    return true;
}

QString PlanSession::state(int index) const
{
    const PlanRow& row = plan_.rows[index];
    const QString key = planRowKey(row);
    const auto result = latest_.constFind(key);
    return stateText(row, result == latest_.cend() ? nullptr : &*result, passing_.value(key));
}

std::optional<PlanResult> PlanSession::latest(int index) const
{
    const auto result = latest_.constFind(planRowKey(plan_.rows[index]));
    if (result == latest_.cend())
        return std::nullopt;
    return *result;
}

int PlanSession::nextRow(int after) const
{
    const int count = static_cast<int>(plan_.rows.size());
    for (int step = 1; step <= count; ++step) {
        const int i = (after + step) % count;
        if (!plan_.sendable(i))
            continue;
        const auto result = latest_.constFind(planRowKey(plan_.rows[i]));
        if (result == latest_.cend() || !result->sent) // not sent yet, or the last try failed
            return i;
    }
    return -1;
}

bool PlanSession::pressable(int index) const
{
    return plan_.sendable(index) && !busy_;
}

int PlanSession::indexOfKey(const QString& key) const
{
    for (int i = 0; i < plan_.rows.size(); ++i) {
        if (planRowKey(plan_.rows[i]) == key)
            return i;
    }
    return -1;
}

PlanSession::Ticket PlanSession::ticket(int index) const
{
    const PlanRow& row = plan_.rows[index];
    return {generation_, path_, row, planRowKey(row)};
}

std::optional<RowAddresses> PlanSession::addresses(const PlanRow& row) const
{
    const ParamFields fields = resolvePlanRow(row, page_.fieldTexts());
    RowAddresses a{fields.currIP.trimmed(), fields.upip.trimmed(), 0, 0, row.mac};
    const auto current = parseDottedQuad(a.currentIP);
    const auto next = parseDottedQuad(a.newIP);
    if (!connected_() || !current || !next)
        return std::nullopt;
    a.current = *current;
    a.next = *next;
    return a;
}

void PlanSession::lookAhead(int index)
{
    if (!plan_.sendable(index) || sentAlready(planRowKey(plan_.rows[index])))
        return;
    const Ticket t = ticket(index);
    const auto row = addresses(t.row);
    if (!row)
        return;
    verifier_->checkBefore(*row, [self = QPointer(this), t, row = *row](const BeforeSend& b) {
        if (self)
            runGuarded([&] { self->checked(t, false, row, b); });
    });
}

void PlanSession::press(int index)
{
    if (!pressable(index))
        return;
    const Ticket t = ticket(index);
    const auto row = addresses(t.row);
    setBusy(true);
    if (!row) {
        send(t, {}, {}); // the download command says what is wrong
        return;
    }
    passing_.insert(t.key, Checking);
    changed(t.key);
    verifier_->checkBefore(*row, [self = QPointer(this), t, row = *row](const BeforeSend& b) {
        if (self)
            runGuarded([&] { self->checked(t, true, row, b); });
    });
}

void PlanSession::checked(const Ticket& t, bool pressed, const RowAddresses& row,
                          const BeforeSend& before)
{
    if (!current(t)) {
        // Another plan came meanwhile; only a press keeps it out, so this was a look ahead.
        if (pressed)
            setBusy(false);
        return;
    }
    // A look ahead must not end the state of a press's check of the same row, nor speak over
    // what became of a row sent meanwhile.
    if (!pressed && (passing_.value(t.key) == Checking || sentAlready(t.key)))
        return;
    passing_.remove(t.key);
    const auto doubts = doubtsOf(row, before);
    QStringList said;
    for (const auto& [doubt, box] : doubts)
        said.append(doubt);
    if (!said.isEmpty())
        passing_.insert(t.key, said.join(u'；'));
    changed(t.key);
    if (!pressed)
        return;
    QString what;
    if (!confirmed(t, doubts, what)) {
        setBusy(false);
        return;
    }
    passing_.remove(t.key);
    send(t, before, what);
}

bool PlanSession::confirmed(const Ticket& t, const QList<std::pair<QString, QString>>& doubts,
                            QString& what)
{
    QStringList confirmedDoubts;
    for (const auto& [doubt, box] : doubts) {
        if (!confirmBox(box)) {
            // Nothing is sent; the results say so, and over what.
            PlanResult declined = resultOf(t);
            declined.declined = true;
            declined.message = passing_.value(t.key); // every doubt, as the row shows them
            if (current(t) && !sentAlready(t.key))
                latest_.insert(t.key, declined);
            record(t.path, declined);
            return false;
        }
        confirmedDoubts.append(doubt);
    }
    what = confirmedDoubts.join(u'；');
    return true;
}

PlanResult PlanSession::resultOf(const Ticket& t) const
{
    PlanResult result{t.row.row, clock_()};
    result.key = t.key;
    result.plannedMac = t.row.mac;
    result.remarks = planRemarks(plan_.otherHeaders, t.row.others);
    return result;
}

void PlanSession::send(const Ticket& t, const BeforeSend& before, const QString& doubts)
{
    // A value the row leaves to the page is the page's at the moment of sending.
    const ParamFields fields = resolvePlanRow(t.row, page_.fieldTexts());
    // A row without a type of its own takes the page's, as the download does.
    const DeviceType type =
        t.row.deviceType.value_or(page_.chosenType().value_or(DeviceType::first()));
    const DownloadOutcome outcome = downloadParams(udp_, type, fields);
    const CaptureMark mark = captureMark_(); // before anything else can be sent
    // The box is up in here; the plan cannot change while busy.
    page_.showPlanSend(outcome);
    PlanResult result = resultOf(t);
    result.sent = outcome.sent();
    result.message = outcome.boxText();
    result.macBefore = before.device;
    result.macBeforeAt = before.deviceAt;
    result.confirmed = doubts;
    if (const auto p = parseDottedQuad(fields.currIP.trimmed())) {
        if (const auto card = sameSubnet(laptop_(), *p, true)) {
            result.card = card->interfaceName;
            result.laptopAddress = formatDottedQuad(card->address);
        }
    }
    if (result.sent && !mark.file.isEmpty()) {
        result.capture = mark.file;
        if (mark.frame > 0) // else it was lost to the recording
            result.frame = QString::number(mark.frame);
    }
    if (current(t)) {
        latest_.insert(t.key, result);
        changed(t.key);
    }
    record(t.path, result);
    setBusy(false);
    if (!outcome.sent())
        return;
    watch(t, result, before);
    if (current(t))
        Q_EMIT rowSent(indexOfKey(t.key));
}

// The device reboots into its new address: watch it come up there, in the background.
void PlanSession::watch(const Ticket& t, const PlanResult& result, const BeforeSend& before)
{
    const auto row = addresses(t.row);
    if (!row)
        return;
    verifier_->watchAfter(t.key, *row, before,
                          [self = QPointer(this), t, result](const AfterSend& after) {
                              if (!self)
                                  return;
                              runGuarded([&] {
                                  PlanResult verdict = result;
                                  verdict.verdict = after.verdict;
                                  verdict.verdictTime = self->clock_();
                                  verdict.macAfter = after.mac;
                                  verdict.macAfterAt = after.seenAt;
                                  self->record(t.path, verdict);
                                  if (self->current(t)) {
                                      self->latest_.insert(t.key, verdict);
                                      self->changed(t.key);
                                  }
                              });
                          });
}

void PlanSession::record(const QString& path, const PlanResult& result)
{
    if (const auto written = appendPlanResult(planResultsPath(path), result); !written)
        infoBox(u"结果未能写入%1：%2"_s.arg(planResultsPath(path), written.error().message));
}

bool PlanSession::sentAlready(const QString& key) const
{
    const auto result = latest_.constFind(key);
    return result != latest_.cend() && result->sent;
}

void PlanSession::setBusy(bool busy)
{
    if (busy_ == busy)
        return;
    busy_ = busy;
    Q_EMIT busyChanged(busy);
}

void PlanSession::changed(const QString& key)
{
    const int i = indexOfKey(key);
    if (i >= 0)
        Q_EMIT rowChanged(i);
}
