#include "desktop/find/AppSearch.h"

#include "desktop/find/PinyinInitials.h"

#include <QSet>

QString AppSearch::fold(const QString &text)
{
    return text.trimmed().toCaseFolded();
}

bool AppSearch::matches(const QString &foldedName, const QString &initials, const QString &typed)
{
    if (typed.isEmpty())
        return false;
    return foldedName.contains(typed) || (!initials.isEmpty() && initials.contains(typed));
}

void AppSearch::rebuild(const DesktopAppCatalogue &catalogue, const Filter &shown)
{
    m_entries.clear();
    QSet<QString> seen;
    for (const auto &entry : catalogue) {
        for (const DesktopAppInfoPtr &app : entry.second) {
            if (!app || (shown && !shown(*app)) || seen.contains(app->id))
                continue;
            seen.insert(app->id);
            m_entries.append({app, fold(app->name), PinyinInitials::of(app->name)});
        }
    }
}

DesktopAppList AppSearch::find(const QString &typed, int limit) const
{
    DesktopAppList found;
    const QString wanted = fold(typed);
    if (wanted.isEmpty())
        return found;
    for (const Entry &entry : m_entries) {
        if (limit >= 0 && found.size() >= limit)
            break;
        if (matches(entry.name, entry.initials, wanted))
            found.append(entry.app);
    }
    return found;
}
