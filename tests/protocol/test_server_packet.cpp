// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/exceptions.h"
#include "protocol/server_packet.h"
#include "support/test_helpers.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;

// Readable failure messages for texts.
namespace
{

using testsupport::PrintTo;

using Edit = std::function<void(ServerFields&)>;

const QString EmptyIp = u"无效IP设置，IP段不允许为空！"_s;
const QString BigIp = u"无效IP设置，IP段不允许大于255！"_s;
const QString ZeroIp = u"无效IP设置，IP段不允许全为0！"_s;
const QString FullIp = u"无效IP设置，IP段不允许全为255！"_s;
const QString EmptyMask = u"无效子网掩码设置，IP段不允许为空！"_s;
const QString BigMask = u"无效子网掩码设置，IP段不允许大于255！"_s;
const QString ZeroMask = u"无效子网掩码设置，IP段不允许全为0！"_s;
const QString FullMask = u"无效子网掩码设置，IP段不允许全为255！"_s;
const QString EmptyGw = u"无效默认网关IP设置，IP段不允许为空！"_s;
const QString BigGw = u"无效默认网关IP设置，IP段不允许大于255！"_s;
const QString ZeroGw = u"无效默认网关IP设置，IP段不允许全为0！"_s;
const QString FullGw = u"无效默认网关IP设置，IP段不允许全为255！"_s;
const QString EmptyName = u"连接名称不允许为空！"_s;

std::array<QString, 4> quad(const char16_t* a, const char16_t* b, const char16_t* c,
                            const char16_t* d)
{
    return {QString::fromUtf16(a), QString::fromUtf16(b), QString::fromUtf16(c),
            QString::fromUtf16(d)};
}

ServerFields edited(const Edit& edit)
{
    ServerFields f = ServerFields::defaults();
    edit(f);
    return f;
}

// ---- validation: first failing step and its message -------------------------------------

struct ValidationCase {
    const char* name;
    Edit edit;
    std::optional<QString> message; // nothing: all steps pass
};

class ServerValidation : public ::testing::TestWithParam<ValidationCase>
{};

TEST_P(ServerValidation, ReportsTheFirstFailingCheck)
{
    const auto& c = GetParam();
    const auto fault = faultOf(validateServerFields(edited(c.edit)));
    EXPECT_EQ(fault ? std::optional(fault->message) : std::nullopt, c.message);
    // The page shows these in its message box, not the framework's error box.
    if (fault) {
        EXPECT_FALSE(isConversionFault(*fault));
    }
}

const ValidationCase validationCases[] = {
    {"Defaults", [](ServerFields&) {}, std::nullopt},
    {"AddressEmptyFirstOctet", [](ServerFields& f) { f.ip[0].clear(); }, EmptyIp},
    {"AddressEmptyLastOctet", [](ServerFields& f) { f.ip[3].clear(); }, EmptyIp},
    {"EmptyAddressBeforeAnyConversion",
     [](ServerFields& f) {
         f.ip[0] = u"abc"_s;
         f.ip[2].clear();
     },
     EmptyIp},
    {"AddressOver255", [](ServerFields& f) { f.ip[3] = u"256"_s; }, BigIp},
    {"AddressHexOver255", [](ServerFields& f) { f.ip[1] = u"0x100"_s; }, BigIp},
    {"AddressStopsAtFirstDecisiveField",
     [](ServerFields& f) {
         f.ip[0] = u"300"_s;
         f.ip[1] = u"abc"_s;
     },
     BigIp},
    {"AddressNegativePasses", [](ServerFields& f) { f.ip[3] = u"-1"_s; }, std::nullopt},
    {"AddressLeadingZerosPass", [](ServerFields& f) { f.ip[0] = u"010"_s; }, std::nullopt},
    {"AddressLeadingBlankPasses", [](ServerFields& f) { f.ip[2] = u" 1"_s; }, std::nullopt},
    {"AddressAllZero", [](ServerFields& f) { f.ip = quad(u"0", u"0", u"0", u"0"); }, ZeroIp},
    {"AddressSignedZerosAreZero", [](ServerFields& f) { f.ip = quad(u"-0", u"+0", u"00", u"$0"); },
     ZeroIp},
    {"AddressOneNonZeroPasses", [](ServerFields& f) { f.ip = quad(u"0", u"0", u"0", u"1"); },
     std::nullopt},
    {"AddressAll255", [](ServerFields& f) { f.ip = quad(u"255", u"255", u"255", u"255"); }, FullIp},
    {"AddressAll255InHex", [](ServerFields& f) { f.ip = quad(u"$FF", u"xff", u"0XfF", u"255"); },
     FullIp},
    {"EmptyMask", [](ServerFields& f) { f.mark[3].clear(); }, EmptyMask},
    {"EmptyMaskAfterTheAddressChecks",
     [](ServerFields& f) {
         f.mark[0].clear();
         f.gateWay[0] = u"999"_s;
         f.netName.clear();
     },
     EmptyMask},
    {"AddressFaultBeforeMaskFault",
     [](ServerFields& f) {
         f.ip = quad(u"0", u"0", u"0", u"0");
         f.mark[0].clear();
     },
     ZeroIp},
    {"MaskOver255", [](ServerFields& f) { f.mark[1] = u"999"_s; }, BigMask},
    {"MaskAllZero", [](ServerFields& f) { f.mark = quad(u"0", u"0", u"0", u"0"); }, ZeroMask},
    {"MaskAll255", [](ServerFields& f) { f.mark = quad(u"255", u"255", u"255", u"255"); },
     FullMask},
    {"NonContiguousMaskPasses", [](ServerFields& f) { f.mark = quad(u"255", u"0", u"255", u"0"); },
     std::nullopt},
    {"EmptyGateway", [](ServerFields& f) { f.gateWay[2].clear(); }, EmptyGw},
    {"GatewayOver255", [](ServerFields& f) { f.gateWay[3] = u"256"_s; }, BigGw},
    {"GatewayAllZero", [](ServerFields& f) { f.gateWay = quad(u"0", u"0", u"0", u"0"); }, ZeroGw},
    {"GatewayAll255", [](ServerFields& f) { f.gateWay = quad(u"255", u"255", u"255", u"255"); },
     FullGw},
    {"EmptyName", [](ServerFields& f) { f.netName.clear(); }, EmptyName},
    {"BlankNamePasses", [](ServerFields& f) { f.netName = u"  "_s; }, std::nullopt},
    {"PresentAddressAndPortAreNotChecked",
     [](ServerFields& f) {
         f.ipCurr.clear();
         f.servicePort = u"abc"_s;
     },
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Checks, ServerValidation, ::testing::ValuesIn(validationCases),
                         CaseName());

// ---- a text that does not convert ends the check with the conversion error ----------------

struct ConversionCase {
    const char* name;
    Edit edit;
    QString error;
};

class ServerValidationConversion : public ::testing::TestWithParam<ConversionCase>
{};

TEST_P(ServerValidationConversion, RaisesTheConversionErrorWithTheTextAsTyped)
{
    const auto& c = GetParam();
    const ServerFields f = edited(c.edit);
    const auto fault = faultOf(validateServerFields(f));
    ASSERT_TRUE(fault) << "no conversion error";
    EXPECT_EQ(fault->message, c.error);
    EXPECT_TRUE(isConversionFault(*fault));
}

const ConversionCase conversionCases[] = {
    {"TrailingBlank", [](ServerFields& f) { f.ip[0] = u" 1 "_s; },
     u"' 1 ' is not a valid integer value"_s},
    {"NotANumberBeforeOver255",
     [](ServerFields& f) {
         f.ip[1] = u"abc"_s;
         f.ip[2] = u"300"_s;
     },
     u"'abc' is not a valid integer value"_s},
    {"AddressConvertedBeforeMaskEmptiness",
     [](ServerFields& f) {
         f.ip[3] = u"1 "_s;
         f.mark[0].clear();
     },
     u"'1 ' is not a valid integer value"_s},
    {"MaskPrefixAlone", [](ServerFields& f) { f.mark[2] = u"$"_s; },
     u"'$' is not a valid integer value"_s},
    {"GatewaySignAlone", [](ServerFields& f) { f.gateWay[3] = u"-"_s; },
     u"'-' is not a valid integer value"_s},
    // Blanks are not empty: they pass the emptiness test and fail the conversion.
    {"BlankOctet", [](ServerFields& f) { f.gateWay[0] = u"   "_s; },
     u"'   ' is not a valid integer value"_s},
};

INSTANTIATE_TEST_SUITE_P(Fields, ServerValidationConversion, ::testing::ValuesIn(conversionCases),
                         CaseName());

// ---- derived texts and packet bytes -------------------------------------------------------

struct DerivedCase {
    const char* name;
    Edit edit;
    QString ip, mask, gateway, netName;
    QByteArray octets; // offsets 1 to 12
};

class ServerDerived : public ::testing::TestWithParam<DerivedCase>
{};

TEST_P(ServerDerived, TextsShowOctetsAsTypedAndThePacketCarriesTheirLowBytes)
{
    const auto& c = GetParam();
    const ServerFields f = edited(c.edit);
    const ServerTexts t = deriveServerTexts(f);
    EXPECT_EQ(t.ip, c.ip);
    EXPECT_EQ(t.mask, c.mask);
    EXPECT_EQ(t.gateWay, c.gateway);
    EXPECT_EQ(t.netName, c.netName);

    const TServerPacketBuffer buffer = buildServerPacket(f).value();
    const QByteArray packet(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    EXPECT_EQ(packet.toHex(' '),
              QByteArray(QByteArray("\xD7") + c.octets + QByteArray(5, 100) + QByteArray(2, 0))
                  .toHex(' '));
}

const DerivedCase derivedCases[] = {
    {"Defaults", [](ServerFields&) {}, u"192.168.1.248"_s, u"255.255.255.0"_s, u"192.168.1.1"_s,
     u"本地连接"_s, QByteArray::fromHex("C0A801F8 FFFFFF00 C0A80101")},
    {"MinusOneIsSentAsFF", [](ServerFields& f) { f.ip[3] = u"-1"_s; }, u"192.168.1.-1"_s,
     u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s,
     QByteArray::fromHex("C0A801FF FFFFFF00 C0A80101")},
    {"LeadingZerosStayInTheText", [](ServerFields& f) { f.mark[0] = u"010"_s; }, u"192.168.1.248"_s,
     u"010.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s,
     QByteArray::fromHex("C0A801F8 0AFFFF00 C0A80101")},
    {"LeadingBlankStripped",
     [](ServerFields& f) {
         f.gateWay[2] = u" 7"_s;
         f.ip[0] = u" 10"_s;
     },
     u"10.168.1.248"_s, u"255.255.255.0"_s, u"192.168.7.1"_s, u"本地连接"_s,
     QByteArray::fromHex("0AA801F8 FFFFFF00 C0A80701")},
    {"HexAsTyped", [](ServerFields& f) { f.ip[1] = u"$A8"_s; }, u"192.$A8.1.248"_s,
     u"255.255.255.0"_s, u"192.168.1.1"_s, u"本地连接"_s,
     QByteArray::fromHex("C0A801F8 FFFFFF00 C0A80101")},
    {"OverRangeKeepsLowBits", [](ServerFields& f) { f.gateWay[0] = u"300"_s; }, u"192.168.1.248"_s,
     u"255.255.255.0"_s, u"300.168.1.1"_s, u"本地连接"_s,
     QByteArray::fromHex("C0A801F8 FFFFFF00 2CA80101")},
    {"NameUnstripped", [](ServerFields& f) { f.netName = u"  本地连接 2 "_s; }, u"192.168.1.248"_s,
     u"255.255.255.0"_s, u"192.168.1.1"_s, u"  本地连接 2 "_s,
     QByteArray::fromHex("C0A801F8 FFFFFF00 C0A80101")},
};

INSTANTIATE_TEST_SUITE_P(Fields, ServerDerived, ::testing::ValuesIn(derivedCases), CaseName());

TEST(ServerPacket, FailsForAnOctetThatDoesNotConvert)
{
    ServerFields f = ServerFields::defaults();
    f.gateWay[3] = u"1 "_s;
    const auto fault = faultOf(buildServerPacket(f));
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->message, u"'1 ' is not a valid integer value"_s);
    EXPECT_EQ(fault->field, 11);
}

// ---- texts shown and logged ---------------------------------------------------------------

TEST(ServerTexts, ExactTextsForTheDefaults)
{
    const ServerTexts t = deriveServerTexts(ServerFields::defaults());
    EXPECT_EQ(firstConfirmText(), u"确实需要立即更新服务器IP吗？请谨慎使用该功能！"_s);
    EXPECT_EQ(secondConfirmText(t), u"请再次确认，确实需要立即更新服务器IP吗？ IP=192.168.1.248 "
                                    u"子网掩码=255.255.255.0 默认网关=192.168.1.1"_s);
    EXPECT_EQ(summaryCaption(t),
              u"服务器网络配置:\r\r  服务器IP = 192.168.1.248\r\r  子网掩码 = "
              u"255.255.255.0\r\r  默认网关 = 192.168.1.1\r\r 网络连接 = 本地连接"_s);
    EXPECT_EQ(completionText(t),
              u"更新服务器地址完成，请记住当前修改后的服务器IP，并且等候1分钟，然后关闭服务器主机"
              u"重启系统，同时也重新启动当前客户端软件！\rIP=192.168.1.248 子网掩码=255.255.255.0 "
              u"默认网关=192.168.1.1"_s);
    EXPECT_EQ(updateLogValue(t), u"  服务器IP=192.168.1.248  子网掩码=255.255.255.0  "
                                 u"默认网关=192.168.1.1 网络连接=本地连接"_s);
    EXPECT_EQ(updateLogPath(u"/opt/tool/"_s), u"/opt/tool/IPSet.Ini"_s);
    EXPECT_EQ(updateLogSection(), u"UpdateLog"_s);
    EXPECT_EQ(updateLogKey(), u"Log"_s);
}

} // namespace
