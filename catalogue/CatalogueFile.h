#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>

// DesktopApp.xml: the cached catalogue an offline sign-in shows.
// GB2312, document element "root", one element per category holding one
// element per application, every field as an attribute.
namespace CatalogueFile {

// appDirPath()/DesktopApp.xml
QString defaultPath();

// Writes through a temporary file that replaces the old one only once it is
// complete, so an interrupted or failed write leaves the previous cache
// whole. Returns false when nothing was replaced.
bool write(const QString &path, const DesktopAppCatalogue &catalogue);

// Reads any file of that shape; element names below "root" are not
// checked, missing attributes read as empty text. Returns false (and
// leaves out empty) for a missing or malformed file or another document
// element.
bool read(const QString &path, DesktopAppCatalogue *out);

} // namespace CatalogueFile
