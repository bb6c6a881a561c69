#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>
#include <QVector>

#include <functional>

// Type-to-search over the whole catalogue: the applications whose name
// holds what was typed, in any letter case, or whose pinyin initials do
// ("shhb" and "hh" both find "速绘画板"). Names and initials are prepared
// once per catalogue change, so a keystroke only compares texts.
class AppSearch
{
public:
    using Filter = std::function<bool(const desktopAppInfo &)>;

    // The applications the filter lets through (those on the desktop), in
    // catalogue order; an id that occurs twice is found once.
    void rebuild(const DesktopAppCatalogue &catalogue, const Filter &shown);

    // Matches in catalogue order; at most limit of them (all when negative).
    // Blank text finds nothing.
    DesktopAppList find(const QString &typed, int limit = -1) const;

    int size() const { return m_entries.size(); }

    static bool matches(const QString &foldedName, const QString &initials, const QString &typed);
    // What find() compares: trimmed, case folded.
    static QString fold(const QString &text);

private:
    struct Entry
    {
        DesktopAppInfoPtr app;
        QString name;     // folded
        QString initials; // of the name
    };
    QVector<Entry> m_entries;
};
