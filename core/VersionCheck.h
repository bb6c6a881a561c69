#pragma once

#include <QString>
#include <QVector>

// Client version numbers ("1.0.12") and the offer rule.
namespace VersionCheck {

// Decimal conversion as the C library does it: leading blanks, an optional
// sign, then the leading digits; no digits gives 0. Out-of-range values
// saturate instead of overflowing.
int cToInt(const QString &text);

// The parts of a version split at every "."; each part through cToInt().
QVector<int> parts(const QString &version);

// True only when both versions have exactly three parts and, at the first
// position where they differ, the offered number is the greater one. An
// older offer is never a new version.
bool isNewer(const QString &installed, const QString &offered);

} // namespace VersionCheck
