#include "Registry.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cstring>
#include <map>
#include <optional>

namespace Registry {
namespace {

QString g_storePath;
// Open handles and the key each one names: "HKEY_LOCAL_MACHINE/SOFTWARE/...", spelled
// as stored.
std::map<HKEY, QString> g_handles;
HKEY g_nextHandle = 1;

QString rootName(HKEY root) {
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKEY_USERS:
        return QStringLiteral("HKEY_USERS");
    default:
        return {};
    }
}

// The stored key path of a root or open handle; none for an unknown handle.
std::optional<QString> keyPath(HKEY key) {
    const QString root = rootName(key);
    if (!root.isEmpty()) return root;
    const auto it = g_handles.find(key);
    if (it == g_handles.end()) return std::nullopt;
    return it->second;
}

QStringList components(const QString& subKey) {
    QString s = subKey;
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QString findIgnoringCase(const QStringList& names, const QString& wanted) {
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) return name;
    return {};
}

// Follows `parts` below `base`, matching each name without regard to case. With
// `create`, missing keys are named as given (they come into being with their first value).
std::optional<QString> resolve(QSettings& store, const QString& base, const QStringList& parts, bool create) {
    QString path = base;
    for (const QString& part : parts) {
        store.beginGroup(path);
        QString found = findIgnoringCase(store.childGroups(), part);
        store.endGroup();
        if (found.isEmpty()) {
            if (!create) return std::nullopt;
            found = part;
        }
        path += QLatin1Char('/') + found;
    }
    return path;
}

QString bytesAsHex(const QByteArray& bytes) {
    QStringList hex;
    for (const char c : bytes)
        hex << QStringLiteral("%1").arg(quint8(c), 2, 16, QLatin1Char('0'));
    return hex.join(QLatin1Char(','));
}

std::optional<QByteArray> hexAsBytes(const QString& text) {
    QByteArray out;
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const uint v = part.toUInt(&ok, 16);
        if (!ok || v > 255) return std::nullopt;
        out.append(char(v));
    }
    return out;
}

struct Value {
    DWORD type = REG_NONE;
    QByteArray data;
};

// Reads a stored value in the forms of the header. A list appears when a hand-written
// value holds unquoted commas; it is joined back.
std::optional<Value> decode(const QVariant& stored) {
    const QString text = stored.typeId() == QMetaType::QStringList
                             ? stored.toStringList().join(QLatin1Char(','))
                             : stored.toString();
    static const QRegularExpression dword(QStringLiteral("^dword:([0-9a-fA-F]{1,8})$"));
    static const QRegularExpression hex(QStringLiteral("^hex(?:\\(([0-9a-fA-F]{1,8})\\))?:(.*)$"),
                                        QRegularExpression::DotMatchesEverythingOption);
    if (const auto m = dword.match(text); m.hasMatch()) {
        quint32 v = m.captured(1).toUInt(nullptr, 16);
        return Value{REG_DWORD, QByteArray(reinterpret_cast<const char*>(&v), 4)};
    }
    if (const auto m = hex.match(text); m.hasMatch()) {
        const auto bytes = hexAsBytes(m.captured(2));
        if (!bytes) return std::nullopt;
        const DWORD type = m.captured(1).isEmpty() ? REG_BINARY : m.captured(1).toUInt(nullptr, 16);
        return Value{type, *bytes};
    }
    return Value{REG_SZ, text.toLocal8Bit() + '\0'};
}

QString encode(DWORD type, const QByteArray& data) {
    if (type == REG_DWORD && data.size() == 4) {
        quint32 v = 0;
        std::memcpy(&v, data.constData(), 4);
        return QStringLiteral("dword:%1").arg(v, 8, 16, QLatin1Char('0'));
    }
    if (type == REG_SZ && data.endsWith('\0') && data.indexOf('\0') == data.size() - 1) {
        const QString text = QString::fromLocal8Bit(data.left(data.size() - 1));
        // Text that reads like one of the other forms is kept as bytes.
        if (!text.startsWith(QLatin1String("dword:")) && !text.startsWith(QLatin1String("hex")) &&
            text.toLocal8Bit() + '\0' == data)
            return text;
    }
    if (type == REG_BINARY) return QStringLiteral("hex:") + bytesAsHex(data);
    return QStringLiteral("hex(%1):").arg(type, 0, 16) + bytesAsHex(data);
}

HKEY newHandle(const QString& path) {
    const HKEY handle = g_nextHandle++;
    g_handles[handle] = path;
    return handle;
}

LONG open(HKEY key, const QString& subKey, HKEY* result, bool create) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = 0;
    const auto base = keyPath(key);
    if (!base) return ERROR_INVALID_HANDLE;
    QSettings store(storePath(), QSettings::IniFormat);
    const auto path = resolve(store, *base, components(subKey), create);
    if (!path) return ERROR_FILE_NOT_FOUND;
    *result = newHandle(*path);
    return ERROR_SUCCESS;
}

} // namespace

QString storePath() {
    if (!g_storePath.isEmpty()) return g_storePath;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/video-kelvanor/registry.ini");
}

void setStorePath(const QString& path) {
    g_storePath = path;
    g_handles.clear();
}

LONG RegOpenKeyEx(HKEY key, const QString& subKey, DWORD, DWORD, HKEY* result) {
    return open(key, subKey, result, false);
}

LONG RegCreateKeyEx(HKEY key, const QString& subKey, HKEY* result) {
    return open(key, subKey, result, true);
}

LONG RegQueryValueEx(HKEY key, const QString& valueName, DWORD* type, char* data, DWORD* size) {
    const auto path = keyPath(key);
    if (!path || !rootName(key).isEmpty()) return path ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
    QSettings store(storePath(), QSettings::IniFormat);
    store.beginGroup(*path);
    const QString name = findIgnoringCase(store.childKeys(), valueName);
    if (name.isEmpty()) return ERROR_FILE_NOT_FOUND;
    const auto value = decode(store.value(name));
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD room = *size;
    *size = DWORD(value->data.size());
    if (!data) return ERROR_SUCCESS;
    if (room < DWORD(value->data.size())) return ERROR_MORE_DATA;
    std::memcpy(data, value->data.constData(), size_t(value->data.size()));
    return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY key, const QString& valueName, DWORD type, const QByteArray& data) {
    const auto path = keyPath(key);
    if (!path || !rootName(key).isEmpty()) return path ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
    QSettings store(storePath(), QSettings::IniFormat);
    store.beginGroup(*path);
    QString name = findIgnoringCase(store.childKeys(), valueName);
    if (name.isEmpty()) name = valueName;
    store.setValue(name, encode(type, data));
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key) {
    return g_handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace Registry
