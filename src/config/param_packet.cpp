#include "config/param_packet.h"

#include "common/sysutils.h"
#include "config/device_types.h"

#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

uint8_t low8(int value)
{
    return static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu);
}

// Division truncates toward zero, so -1 to -255 give a high byte of 0.
uint8_t high8(int value)
{
    return low8(value / 256);
}

void putHighFirst(uint8_t* at, int value)
{
    at[0] = high8(value);
    at[1] = low8(value);
}

void putLowFirst(uint8_t* at, int value)
{
    at[0] = low8(value);
    at[1] = high8(value);
}

void putQuad(uint8_t* at, const QString& text)
{
    IPstrToByte(trim(text), at[0], at[1], at[2], at[3]);
}

// Cuts the text before the first "." (all of it stays when there is none) and converts it.
uint8_t takePiece(QString& rest)
{
    const qsizetype dot = rest.indexOf(u'.');
    const QString piece = dot < 0 ? QString() : rest.left(dot);
    rest.remove(0, dot + 1);
    return low8(strToInt(piece));
}

struct AddressCheck {
    ParamField field;
    const QString& text;
    QString emptyMessage;
    QString lengthMessage;
};

// The fixed fields end both messages with "！".
AddressCheck fixedCheck(ParamField field, const QString& text, const QString& name)
{
    return {field, text, name + u"不能为空！"_s, u"不合规则的非法"_s + name + u"！"_s};
}

// edtYM and edtCallIp are named by their label's current caption, with nothing added.
AddressCheck captionCheck(ParamField field, const QString& text, const QString& caption)
{
    return {field, text, caption + u"不能为空！"_s, u"不合规则的非法"_s + caption};
}

std::optional<ParamFault> checkAddress(const AddressCheck& c)
{
    if (c.text.isEmpty())
        return ParamFault{c.emptyMessage, c.field};
    const int length = cp936Length(c.text);
    if (length < 7 || length > 15)
        return ParamFault{c.lengthMessage, c.field};
    return std::nullopt;
}

} // namespace

void IPstrToByte(const QString& text, uint8_t& b1, uint8_t& b2, uint8_t& b3, uint8_t& b4)
{
    QString rest = text;
    b1 = takePiece(rest);
    b2 = takePiece(rest);
    b3 = takePiece(rest);
    b4 = low8(strToInt(rest));
}

std::optional<ParamFault> validateParamFields(const ParamFields& fields, int deviceType,
                                              const QString& ymCaption, const QString& callCaption)
{
    std::vector<AddressCheck> checks = {
        fixedCheck(ParamField::CurrIP, fields.currIP, u"当前设备IP"_s),
        fixedCheck(ParamField::Upip, fields.upip, u"更新后设备IP"_s),
        fixedCheck(ParamField::ServerIP, fields.serverIP, u"服务器IP"_s),
        fixedCheck(ParamField::NetIP, fields.netIP, u"网关地址"_s),
        fixedCheck(ParamField::GPIP, fields.gpip, u"数据广播IP"_s),
    };
    if (validatesGroupAddress(deviceType))
        checks.push_back(fixedCheck(ParamField::GroupIP, fields.groupIP, u"组播IP"_s));
    if (usesGroupBox1(deviceType)) {
        checks.push_back(captionCheck(ParamField::YM, fields.ym, ymCaption));
        checks.push_back(captionCheck(ParamField::CallIp, fields.callIp, callCaption));
    }
    for (const auto& c : checks) {
        if (auto fault = checkAddress(c))
            return fault;
    }
    return std::nullopt;
}

ParamPacket buildParamPacket(const ParamFields& fields, int deviceType)
{
    // Zeroed work area larger than the packet: every byte no field fills goes out as 0.
    std::array<uint8_t, 100> work{};
    work[0] = 0x48;
    putQuad(&work[1], fields.upip);
    putQuad(&work[5], fields.serverIP);
    putQuad(&work[9], fields.netIP);
    putHighFirst(&work[13], strToInt(fields.order));
    putHighFirst(&work[15], strToInt(fields.data));
    putHighFirst(&work[17], strToInt(fields.serverPort));
    putLowFirst(&work[19], strToInt(fields.address));
    putQuad(&work[21], fields.gpip);
    if (deviceType == 6) {
        putLowFirst(&work[25], strToInt(fields.groupIP));
        work[27] = 0;
        work[28] = 0;
    } else {
        putQuad(&work[25], fields.groupIP);
    }
    if (usesGroupBox1(deviceType)) {
        putQuad(&work[29], fields.ym);
        putQuad(&work[33], fields.callIp);
        if (deviceType == 4) {
            putLowFirst(&work[37], strToInt(fields.id1));
            putLowFirst(&work[39], strToInt(fields.id2));
        } else {
            std::memset(&work[37], 0, 4);
        }
    }
    ParamPacket packet;
    std::memcpy(packet.data(), work.data(), packet.size());
    return packet;
}
