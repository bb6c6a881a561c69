#include "desktop/core/StoreCategory.h"

#include <QUrl>
#include <QUrlQuery>

namespace StoreCategory {

QString idOf(const QString &address)
{
    const int mark = address.indexOf(QLatin1Char('?'));
    if (mark < 0)
        return QString();
    QString query = address.mid(mark + 1);
    const int fragment = query.indexOf(QLatin1Char('#'));
    if (fragment >= 0)
        query.truncate(fragment);
    return QUrlQuery(query).queryItemValue(QStringLiteral("cate_id"), QUrl::FullyDecoded);
}

int indexFor(const QList<QPair<QString, QString>> &storeLinks, const QString &categoryId,
             const QString &categoryName)
{
    if (storeLinks.isEmpty())
        return -1;
    if (!categoryId.isEmpty()) {
        for (int i = 0; i < storeLinks.size(); ++i) {
            if (idOf(storeLinks.at(i).second) == categoryId)
                return i;
        }
    }
    if (!categoryName.isEmpty()) {
        for (int i = 0; i < storeLinks.size(); ++i) {
            if (storeLinks.at(i).first == categoryName)
                return i;
        }
    }
    return 0;
}

} // namespace StoreCategory
