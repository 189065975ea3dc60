// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/packets.h"

using namespace Qt::StringLiterals;

QByteArray paramBytes(const ParamPacket& packet)
{
    return QByteArray(reinterpret_cast<const char*>(packet.data()), ParamPacketSize);
}

QByteArray serverBytes(const TServerPacketBuffer& buffer)
{
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), ServerPacketSize);
}

QByteArray defaultParamPacket(int code)
{
    ParamFields f;
    if (code == 6)
        f.groupIP = u"3"_s;
    return paramBytes(buildParamPacket(f, DeviceType(code)).value());
}

QByteArray defaultServerPacket()
{
    return serverBytes(buildServerPacket(ServerFields::defaults()).value());
}
