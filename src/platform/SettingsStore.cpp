// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsStore.h"

#include "PlatformError.h"
#include "XdgPaths.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace diarytrawl {

namespace {

constexpr QStringView DwordType = u"REG_DWORD";
constexpr QStringView TextType = u"REG_SZ";
constexpr qint64 LargestDword = std::numeric_limits<quint32>::max();
constexpr qint64 SmallestDword = std::numeric_limits<qint32>::min();
// A handful of values take a few hundred bytes; a bigger file is not one this program wrote.
constexpr qint64 MaxFileBytes = 1024 * 1024;

struct Root {
    QStringView full;
    QStringView abbreviation; // empty when the registry knows none
};

constexpr std::array<Root, 5> Roots = {{
    {u"HKEY_CURRENT_USER", u"HKCU"},
    {u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {u"HKEY_CLASSES_ROOT", u"HKCR"},
    {u"HKEY_USERS", u"HKU"},
    {u"HKEY_CURRENT_CONFIG", u""},
}};

[[noreturn]] void fail(const QString &message)
{
    throw PlatformError(ErrorNumber::SettingsStoreFailed, message);
}

// The name with its root written in full, the form the file keeps.
QString canonicalName(const QString &name)
{
    const qsizetype separator = name.indexOf(u'\\');
    const QStringView root = QStringView(name).left(separator < 0 ? name.size() : separator);
    for (const Root &candidate : Roots) {
        const bool matches = root.compare(candidate.full, Qt::CaseInsensitive) == 0 ||
                             (!candidate.abbreviation.isEmpty() &&
                              root.compare(candidate.abbreviation, Qt::CaseInsensitive) == 0);
        if (!matches)
            continue;
        if (separator < 0 || separator + 1 == name.size())
            fail(u"Invalid registry value name \"%1\": it names no value under the root."_s.arg(name));
        return candidate.full.toString() + QStringView(name).mid(separator);
    }
    fail(u"Invalid root in registry key \"%1\"."_s.arg(name));
}

std::optional<qint64> wholeNumberOf(const QVariant &data)
{
    bool ok = false;
    switch (data.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
        return data.toLongLong();
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar: {
        const qulonglong value = data.toULongLong();
        if (value > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(value);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double value = data.toDouble();
        if (!std::isfinite(value) || std::trunc(value) != value || std::fabs(value) > 1e18)
            return std::nullopt;
        return qint64(value);
    }
    case QMetaType::QString: {
        const qint64 value = data.toString().trimmed().toLongLong(&ok, 10);
        return ok ? std::optional<qint64>(value) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool isTextLike(const QVariant &data)
{
    switch (data.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// One value as the file holds it: {"type": "REG_DWORD", "data": 1} or {"type": "REG_SZ", "data": "no"}.
bool isWellFormedValue(const QJsonValue &value)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    const QString type = object.value(u"type"_s).toString();
    const QJsonValue data = object.value(u"data"_s);
    if (type == DwordType) {
        const double number = data.toDouble(-1);
        return data.isDouble() && number >= 0 && number <= double(LargestDword) &&
               std::trunc(number) == number;
    }
    return type == TextType && data.isString();
}

class StoreFile {
public:
    explicit StoreFile(const QString &path)
        : m_path(path)
    {}

    // The values in the file; an empty set when there is no file yet.
    QJsonObject load() const
    {
        const xdg::FileRead read = xdg::readRegularFile(m_path, MaxFileBytes);
        if (read.status == xdg::FileRead::Status::Missing)
            return {};
        if (read.status == xdg::FileRead::Status::Refused)
            fail(
                u"Cannot read the settings file \"%1\": %2. It is left as it is."_s.arg(m_path, read.reason));
        const QByteArray &bytes = read.bytes;
        if (bytes.trimmed().isEmpty())
            return {};
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            damaged(parseError.errorString() + u" at byte "_s + QString::number(parseError.offset));
        if (!document.isObject())
            damaged(u"it does not hold a set of values"_s);
        const QJsonObject values = document.object().value(u"values"_s).toObject();
        for (auto it = values.begin(); it != values.end(); ++it) {
            if (!isWellFormedValue(it.value()))
                damaged(u"the value \"%1\" has no valid type and data"_s.arg(it.key()));
        }
        return values;
    }

    void save(const QJsonObject &values) const
    {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!xdg::makePrivateFolder(folder))
            fail(u"Cannot create the settings folder \"%1\"."_s.arg(folder));
        const QByteArray json =
            QJsonDocument(QJsonObject{{u"values"_s, values}}).toJson(QJsonDocument::Indented);
        if (const QString failure = xdg::replaceFile(m_path, {json}); !failure.isEmpty())
            fail(u"Cannot write the settings file \"%1\": %2"_s.arg(m_path, failure));
    }

private:
    [[noreturn]] void damaged(const QString &reason) const
    {
        fail(u"The settings file \"%1\" is damaged (%2). Repair or remove it; it is left as it is."_s.arg(
            m_path, reason));
    }

    QString m_path;
};

// The key under which the file holds name, if any: the first that compares equal without regard to case.
std::optional<QString> storedKeyOf(const QJsonObject &values, const QString &name)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    }
    return std::nullopt;
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore(defaultFilePath())
{}

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath))
{}

QString SettingsStore::defaultFilePath()
{
    return xdg::configFolder() + u"/settings.json"_s;
}

std::optional<QVariant> SettingsStore::find(const QString &name) const
{
    const QString canonical = canonicalName(name);
    const QJsonObject values = StoreFile(m_filePath).load();
    const std::optional<QString> key = storedKeyOf(values, canonical);
    if (!key)
        return std::nullopt;
    const QJsonObject value = values.value(*key).toObject();
    const QJsonValue data = value.value(u"data"_s);
    if (value.value(u"type"_s).toString() == DwordType)
        return QVariant::fromValue(quint32(data.toDouble()));
    return QVariant(data.toString());
}

QVariant SettingsStore::RegRead(const QString &name) const
{
    if (std::optional<QVariant> data = find(name))
        return *data;
    if (canonicalName(name).compare(canonicalName(registry::BrowserVersion.toString()),
                                    Qt::CaseInsensitive) == 0)
        return registry::BuiltInBrowserVersion.toString();
    fail(u"Unable to open registry key \"%1\" for reading."_s.arg(name));
}

void SettingsStore::RegWrite(const QString &name, const QVariant &data, const QString &type)
{
    const QString canonical = canonicalName(name);
    QJsonObject stored;
    if (type.compare(DwordType, Qt::CaseInsensitive) == 0) {
        const std::optional<qint64> number = wholeNumberOf(data);
        if (!number || *number < SmallestDword || *number > LargestDword)
            fail(u"Cannot write \"%1\": REG_DWORD needs a whole number that fits in 32 bits, not \"%2\"."_s
                     .arg(name, data.toString()));
        // Negative numbers are kept as the registry keeps them: their 32-bit two's complement.
        stored = {{u"type"_s, DwordType.toString()}, {u"data"_s, double(quint32(*number))}};
    } else if (type.compare(TextType, Qt::CaseInsensitive) == 0) {
        if (!isTextLike(data))
            fail(u"Cannot write \"%1\": REG_SZ needs a text."_s.arg(name));
        stored = {{u"type"_s, TextType.toString()}, {u"data"_s, data.toString()}};
    } else {
        fail(u"Cannot write \"%1\": the type \"%2\" is not supported (use REG_DWORD or REG_SZ)."_s.arg(name,
                                                                                                       type));
    }

    const StoreFile file(m_filePath);
    QJsonObject values = file.load();
    values.insert(storedKeyOf(values, canonical).value_or(canonical), stored);
    file.save(values);
}

bool isGlobalUserOffline(const SettingsStore &store)
{
    const std::optional<QVariant> value = store.find(registry::GlobalUserOffline.toString());
    bool ok = false;
    return value && value->toString().trimmed().toLongLong(&ok) == 1 && ok;
}

} // namespace diarytrawl
