#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// One message of the push connection: {"alias", "uuid", "data"}.
struct PushMessage
{
    enum class Kind {
        Invalid, // not a JSON object
        Notice,  // "lumiqPushNotice"
        App,     // "lumiqPushApp"
        Other,   // any other alias: shown, not filled in
    };

    Kind kind = Kind::Invalid;
    QString alias;
    QString uuid; // id of the message itself

    // Notice payload
    QString noticeId, title, content;

    // Offer payload
    QString appUuid, pushId, appId, type, name, url, icon, desc, params, execPath, price, cateId,
        sort;

    // Parses the text as UTF-8 JSON. Members that are missing or not strings
    // read as empty.
    static PushMessage parse(const QString &text);

    // The price as the pop-up shows it: "免费" for an empty price.
    QString priceText() const;
};

// The shown price of an offer: "免费" when the service sent none.
QString offerPriceText(const QString &price);

namespace PushPopup {

constexpr int kWidth = 350;
constexpr int kHeight = 230;

// Top-left corner of a pop-up in the bottom-right corner of the available
// area, one pixel short of its right and bottom edges.
QPoint topLeft(const QRect &available, const QSize &size = QSize(kWidth, kHeight));

} // namespace PushPopup
