#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Access to Config.ini. There is deliberately no long-lived configuration
// object: every call opens the file afresh with the GB2312 codec and drops
// it at once, so a value written by one part is seen by the next reader.
//
// Every write leaves the file readable and writable by its owner only,
// because it holds the remembered password.
namespace ConfigFile {

// appDirPath()/Config.ini
QString defaultPath();

// Value of a key ("/userinfo/username" or "userinfo/username") as text;
// empty when absent.
QString readText(const QString &key);
QString readText(const QString &path, const QString &key);

// Integer value of a key, or -1 when the key is absent.
int readFlag(const QString &key);
int readFlag(const QString &path, const QString &key);

// Writes the keys in the given order in one settings object.
// Returns false when the file could not be written.
using Entries = QList<QPair<QString, QVariant>>;
bool writeKeys(const Entries &entries);
bool writeKeys(const QString &path, const Entries &entries);

// The service base address chosen by "/server/flag": empty or "0" picks
// the test server, anything else the official one.
QString chooseServerAddress();
QString chooseServerAddress(const QString &path);

} // namespace ConfigFile
