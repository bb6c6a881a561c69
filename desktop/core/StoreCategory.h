#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The app centre's store lists its own categories (name, address of the
// category's page, which names the category as "cate_id"); the desktop's
// categories are another list, in another order. A grid's "添加" opens the
// store at the desktop category's match: the store category with the same
// id, else the first with the same name, else the first one. -1 when the
// store has no categories.
namespace StoreCategory {

// The "cate_id" an address names (a whole address or only its query).
QString idOf(const QString &address);

int indexFor(const QList<QPair<QString, QString>> &storeLinks, const QString &categoryId,
             const QString &categoryName);

} // namespace StoreCategory
