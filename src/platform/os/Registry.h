#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A small registry: keys under the classic roots, each holding typed values, kept
// in one INI file in the user's data folder. The calls behave like their desktop
// namesakes: a handle comes from RegOpenKeyEx and must go back through RegCloseKey
// (Registry::Key does that for you); every call answers ERROR_SUCCESS or an error code.
// Key and value names are compared without regard to case.
//
// The file is a QSettings INI file. Under the group of the root key each value is
// "key\path\name=<data>", where <data> is, as in exported registry files:
//   plain text            REG_SZ (stored with its terminating NUL)
//   dword:0000012c        REG_DWORD (hexadecimal)
//   hex(<type>):41,42,00  any type, exactly these bytes
//   hex:01,02             REG_BINARY
// UI thread only.
namespace Registry {

using HKEY = quint32;
using DWORD = quint32;
using LONG = qint32;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Access rights are accepted and not checked: the store belongs to the user.
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

// Opens `subKey` ("A\B\C"; "/" works too) under a root key or an open handle.
LONG RegOpenKeyEx(HKEY key, const QString& subKey, DWORD options, DWORD samDesired, HKEY* result);
// Opens the key, creating it and its parents when missing.
LONG RegCreateKeyEx(HKEY key, const QString& subKey, HKEY* result);
// Reads a value into `data` (room: *size bytes). On success *size is the value's length
// and *type its type. When the room is too small: ERROR_MORE_DATA and *size the length
// needed. A null `data` asks for the type and length only.
LONG RegQueryValueEx(HKEY key, const QString& valueName, DWORD* type, char* data, DWORD* size);
LONG RegSetValueEx(HKEY key, const QString& valueName, DWORD type, const QByteArray& data);
LONG RegCloseKey(HKEY key);

// Owns an open key handle and closes it when it goes.
class Key {
public:
    Key() = default;
    explicit Key(HKEY handle) : m_handle(handle) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (m_handle) RegCloseKey(m_handle);
    }
    HKEY get() const { return m_handle; }
    // Where RegOpenKeyEx puts the new handle; a handle held so far is closed first.
    HKEY* out() {
        if (m_handle) RegCloseKey(m_handle);
        m_handle = 0;
        return &m_handle;
    }

private:
    HKEY m_handle = 0;
};

// The store's file: ~/.local/share/video-kelvanor/registry.ini unless set.
QString storePath();
// Test seam: another store file (empty: the default). Closes every open handle.
void setStorePath(const QString& path);

} // namespace Registry
