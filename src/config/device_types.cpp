#include "config/device_types.h"

using namespace Qt::StringLiterals;

QStringList deviceTypeCaptions()
{
    return {u"普通终端"_s, u"频道终端"_s, u"点播终端"_s, u"一键报警"_s,
            u"寻呼主机"_s, u"分区切换"_s, u"音频矩阵"_s, u"消防矩阵"_s,
            u"电源时序"_s, u"网络收音"_s, u"网络CD"_s,   u"网络功放"_s};
}

DeviceTypeView deviceTypeViewFor(int code)
{
    DeviceTypeView v;
    switch (code) {
    case 4: // one-key alarm: the group field carries the subnet mask, gb1 the two alarm hosts
        v.groupVisible = true;
        v.groupCaption = u"子网掩码："_s;
        v.gb1Visible = true;
        v.ymCaption = u"报警主机一IP"_s;
        v.callCaption = u"报警主机二IP"_s;
        v.gb2Visible = true;
        break;
    case 5: // paging console
        v.groupVisible = true;
        v.groupCaption = u"组播IP："_s;
        v.gb1Visible = true;
        v.ymCaption = u"子网掩码："_s;
        v.callCaption = u"寻呼服务器IP："_s;
        break;
    case 6: // zone switcher: the group field carries a device number
        v.groupVisible = true;
        v.groupCaption = u"从属功放设备编号："_s;
        v.groupText = u"0"_s;
        break;
    case 8:
    case 10:
    case 11:
        v.groupVisible = true;
        v.groupCaption = u"组播IP："_s;
        break;
    default: // 1, 2, 3, 7, 9, 12: no type-dependent fields
        break;
    }
    return v;
}

bool validatesGroupAddress(int code)
{
    return code == 5 || code == 8 || code == 10 || code == 11;
}

bool usesGroupBox1(int code)
{
    return code == 4 || code == 5;
}
