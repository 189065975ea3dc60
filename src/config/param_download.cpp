// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/param_download.h"

#include "common/exceptions.h"
#include "common/sysutils.h"
#include "net/udp_server.h"
#include "protocol/param_packet.h"

using namespace Qt::StringLiterals;

QString DownloadOutcome::boxText() const
{
    return step == Step::Unconverted ? errorBoxText(message) : message;
}

DownloadOutcome downloadParams(TUDPServer& udp, DeviceType type, const ParamFields& fields)
{
    DownloadOutcome outcome;
    outcome.type = type;
    outcome.fields = fields;
    // The type list gives these two labels their captions, so the type alone says them.
    const DeviceTypeView view = type.view();
    const Expected<void> valid = validateParamFields(
        fields, type, view.ymCaption.value_or(QString()), view.callCaption.value_or(QString()));
    if (!valid) {
        outcome.message = valid.error().message;
        outcome.focus = static_cast<ParamField>(valid.error().field);
        return outcome;
    }
    const Expected<ParamPacket> built = buildParamPacket(fields, type);
    if (!built) {
        outcome.step = DownloadOutcome::Step::Unconverted;
        outcome.message = built.error().message;
        return outcome;
    }
    const ParamPacket& packet = *built;
    int port = 0;
    outcome.step = DownloadOutcome::Step::SendFailed;
    outcome.message = u"设备设置错误！"_s;
    if (!tryStrToInt(fields.currPort, port))
        return outcome;
    try {
        udp.SendDatagram(fields.currIP, port, packet.data(), ParamPacketSize, "参数包（下载参数）");
    } catch (const Exception&) {
        return outcome; // the endpoint's failure: the operator reads the box above
    }
    outcome.step = DownloadOutcome::Step::Sent;
    outcome.message = u"设备设置完成！"_s;
    return outcome;
}
