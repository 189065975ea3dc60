#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// Turns a dotted quad into four bytes, first number first, each the low eight bits of the
// integer typed. The text is split piece by piece at the first "." and not trimmed; a piece
// that is no integer raises EConvertError quoting that piece.
void IPstrToByte(const QString& text, uint8_t& b1, uint8_t& b2, uint8_t& b3, uint8_t& b4);

// The texts of the parameter page that the download command reads, initially as the page
// shows them when the window opens.
struct ParamFields {
    QString currIP = QStringLiteral("192.168.1.200");
    QString currPort = QStringLiteral("7500");
    QString upip = QStringLiteral("192.168.1.200");
    QString serverIP = QStringLiteral("192.168.1.248");
    QString netIP = QStringLiteral("192.168.1.1");
    QString gpip = QStringLiteral("255.255.255.255");
    QString address = QStringLiteral("200");
    QString order = QStringLiteral("7500");
    QString data = QStringLiteral("7510");
    QString serverPort = QStringLiteral("7520");
    QString groupIP = QStringLiteral("224.0.1.48");
    QString ym = QStringLiteral("255.255.255.0");
    QString callIp = QStringLiteral("192.168.1.248");
    QString id1 = QStringLiteral("0");
    QString id2 = QStringLiteral("0");
};

// The address fields the validation can fault, in the order it tests them.
enum class ParamField { CurrIP, Upip, ServerIP, NetIP, GPIP, GroupIP, YM, CallIp };

struct ParamFault {
    QString message;
    ParamField field;
};

// First fault of the address fields for the device type, or none. The messages about edtYM and
// edtCallIp are made from the current captions of their labels.
std::optional<ParamFault> validateParamFields(const ParamFields& fields, int deviceType,
                                              const QString& ymCaption, const QString& callCaption);

constexpr int ParamPacketSize = 41;
using ParamPacket = std::array<uint8_t, ParamPacketSize>;

// The parameter download packet. Raises EConvertError on the first field (in packing order)
// that does not convert.
ParamPacket buildParamPacket(const ParamFields& fields, int deviceType);
