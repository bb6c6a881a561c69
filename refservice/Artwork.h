#pragma once

#include <QByteArray>
#include <QString>

// The pictures the reference service serves, drawn here at run time: an
// application icon is a rounded tile in a colour of its own with a white
// symbol; category icons are the symbol alone; the avatar is a face.
namespace Artwork {

// Known symbols: document, sheet, slides, calendar, brush, picture, palette,
// code, terminal, book, cloud, wallet, help, bell, chart, globe. An unknown
// name picks one from its hash.
QByteArray appIconPng(const QString &symbol, const QString &seed, int size = 72);
QByteArray categoryIconPng(const QString &symbol, int size = 32);
QByteArray avatarPng(const QString &seed, int size = 96);

} // namespace Artwork
