// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/expectation.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

using namespace Qt::StringLiterals;

namespace
{

// Numbers compare by their integer text, so 7500 and "7500" are the same port.
QString valueText(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Double: {
        const double d = v.toDouble();
        const auto i = static_cast<qint64>(d);
        return static_cast<double>(i) == d ? QString::number(i) : QString::number(d);
    }
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Bool:
        return v.toBool() ? u"true"_s : u"false"_s;
    case QJsonValue::Null:
        return u"null"_s;
    case QJsonValue::Undefined:
        return QString();
    default:
        return QString::fromUtf8(
            QJsonDocument::fromVariant(v.toVariant()).toJson(QJsonDocument::Compact));
    }
}

} // namespace

Expected<QList<QJsonObject>> parseExpectations(const QByteArray& content)
{
    QList<QJsonObject> packets;
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return fail(u"第%1行不是一个JSON对象：%2"_s.arg(i + 1).arg(
                error.error != QJsonParseError::NoError ? error.errorString() : u"不是对象"_s));
        packets.append(doc.object());
    }
    return packets;
}

Expected<DeviceType> expectedDeviceType(const QJsonObject& expected, DeviceType defaultType)
{
    const QJsonValue type = expected.value(u"type"_s);
    if (type.isDouble())
        return DeviceType::fromCode(type.toInt());
    if (type.isString()) {
        bool ok = false;
        const int code = type.toString().toInt(&ok);
        if (ok)
            return DeviceType::fromCode(code);
    }
    return defaultType;
}

std::optional<QString> findMismatch(const QJsonObject& expected, const QJsonObject& got)
{
    // The kind first: when it differs, the other keys say nothing useful.
    QStringList keys = expected.keys();
    if (keys.removeOne(u"kind"_s))
        keys.prepend(u"kind"_s);
    for (const QString& key : keys) {
        const QString want = valueText(expected.value(key));
        if (!got.contains(key))
            return u"字段 %1：期望 %2，收到的数据包没有这个字段"_s.arg(key, want);
        const QString have = valueText(got.value(key));
        if (want != have) {
            QString message = u"字段 %1：期望 %2，收到 %3"_s.arg(key, want, have);
            if (key == u"kind" && got.contains(u"reason"_s))
                message += u"（"_s + got.value(u"reason"_s).toString() + u"）"_s;
            return message;
        }
    }
    return std::nullopt;
}
