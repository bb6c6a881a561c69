#include "platform/DesktopLayer.h"

#include "platform/PlatformLog.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>
#include <QWindow>
#include <QX11Info>
#include <QtPlatformHeaders/QXcbWindowFunctions>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(const char *name)
{
    xcb_connection_t *c = QX11Info::connection();
    if (!c)
        return XCB_ATOM_NONE;
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The property's 32-bit values; empty when it is missing or of another kind.
QList<quint32> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    QList<quint32> values;
    xcb_connection_t *c = QX11Info::connection();
    if (!c || property == XCB_ATOM_NONE)
        return values;
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->format != 32 || reply->type != type)
        return values;
    const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i)
        values.append(data[i]);
    return values;
}

// The window the window manager names as its own; 0 when none runs (a
// window manager that died leaves the property pointing nowhere).
xcb_window_t windowManagerWindow()
{
    const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
    const QList<quint32> onRoot = cardinals(QX11Info::appRootWindow(), check, XCB_ATOM_WINDOW);
    if (onRoot.isEmpty() || onRoot.first() == 0)
        return 0;
    const QList<quint32> onItself = cardinals(onRoot.first(), check, XCB_ATOM_WINDOW);
    return !onItself.isEmpty() && onItself.first() == onRoot.first() ? onRoot.first() : 0;
}

} // namespace

namespace DesktopLayer {

Qt::WindowFlags desktopFlags()
{
    // The desktop type keeps it down where the window manager knows the
    // type; staying on the bottom does where it knows only that. A tool
    // window would be tied to the client's other windows and lifted with
    // them above the programs.
    return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

Qt::WindowFlags onDesktopFlags()
{
    // Window managers keep such a window above the desktop it belongs to
    // (its transient parent) and in the bottom layer with it.
    return Qt::WindowStaysOnBottomHint;
}

void markAsDesktop(QWindow *window)
{
    if (!window || !QX11Info::isPlatformX11())
        return;
    QXcbWindowFunctions::setWmWindowType(window, QXcbWindowFunctions::Desktop);
}

QString windowManagerName()
{
    if (!QX11Info::isPlatformX11())
        return QString();
    const xcb_window_t wm = windowManagerWindow();
    if (!wm)
        return QString();
    xcb_connection_t *c = QX11Info::connection();
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, wm, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 256), nullptr));
    if (!reply || reply->format != 8)
        return QString();
    return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

QList<quintptr> clientStacking()
{
    QList<quintptr> stacking;
    if (!QX11Info::isPlatformX11() || !windowManagerWindow())
        return stacking;
    const QList<quint32> ids =
        cardinals(QX11Info::appRootWindow(), atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
    for (quint32 id : ids)
        stacking.append(id);
    return stacking;
}

} // namespace DesktopLayer

// Sees the window system's events before the toolkit does: a change of the
// compositing manager's selection (an extension event, which the toolkit
// then records) or of the root's picture properties asks for a recheck.
class ScreenBackdropWatch::Filter : public QAbstractNativeEventFilter
{
public:
    explicit Filter(ScreenBackdropWatch *watch)
        : m_watch(watch)
        , m_root(QX11Info::appRootWindow())
        , m_rootPixmap(atom("_XROOTPMAP_ID"))
        , m_setRootPixmap(atom("ESETROOT_PMAP_ID"))
    {
        // The root's property changes come to this client only when asked
        // for; the toolkit's own wishes for the root are kept.
        xcb_connection_t *c = QX11Info::connection();
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_root), nullptr));
        if (attributes && !(attributes->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) {
            const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(c);
        }
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const uint8_t kind = event->response_type & 0x7f;
        if (kind == XCB_PROPERTY_NOTIFY) {
            const auto *property = reinterpret_cast<const xcb_property_notify_event_t *>(event);
            if (property->window == m_root
                && (property->atom == m_rootPixmap || property->atom == m_setRootPixmap))
                m_watch->queueCheck(true);
        } else if (kind >= 64) {
            // Extension events start at 64; the selection owner's change is
            // one of them. The toolkit records it after this filter, so the
            // recheck waits for the event loop.
            m_watch->queueCheck(false);
        }
        return false;
    }

    bool rootPicture() const
    {
        for (xcb_atom_t property : {m_rootPixmap, m_setRootPixmap}) {
            const QList<quint32> pixmap = cardinals(m_root, property, XCB_ATOM_PIXMAP);
            if (!pixmap.isEmpty() && pixmap.first() != 0)
                return true;
        }
        return false;
    }

private:
    ScreenBackdropWatch *m_watch;
    xcb_window_t m_root;
    xcb_atom_t m_rootPixmap;
    xcb_atom_t m_setRootPixmap;
};

ScreenBackdropWatch::ScreenBackdropWatch(QObject *parent)
    : QObject(parent)
{
    if (!QX11Info::isPlatformX11())
        return;
    m_filter = new Filter(this);
    QCoreApplication::instance()->installNativeEventFilter(m_filter);
    m_compositing = QX11Info::isCompositingManagerRunning();
    m_rootPicture = m_filter->rootPicture();
    qCDebug(lcPlatform) << "window manager" << DesktopLayer::windowManagerName() << "compositing"
                        << m_compositing << "root picture" << m_rootPicture;
}

ScreenBackdropWatch::~ScreenBackdropWatch()
{
    if (m_filter) {
        if (QCoreApplication *app = QCoreApplication::instance())
            app->removeNativeEventFilter(m_filter);
        delete m_filter;
    }
}

void ScreenBackdropWatch::recheck()
{
    queueCheck(true);
}

void ScreenBackdropWatch::queueCheck(bool rootToo)
{
    if (!m_filter)
        return;
    m_rootCheckQueued = m_rootCheckQueued || rootToo;
    if (m_checkQueued)
        return;
    m_checkQueued = true;
    QTimer::singleShot(0, this, [this]() {
        const bool rootToo = m_rootCheckQueued;
        m_checkQueued = false;
        m_rootCheckQueued = false;
        // The toolkit keeps the compositor's state; the root asks a round trip.
        const bool compositing = QX11Info::isCompositingManagerRunning();
        const bool rootPicture = rootToo ? m_filter->rootPicture() : m_rootPicture;
        if (compositing == m_compositing && rootPicture == m_rootPicture)
            return;
        m_compositing = compositing;
        m_rootPicture = rootPicture;
        qCDebug(lcPlatform) << "compositing" << m_compositing << "root picture" << m_rootPicture;
        emit changed();
    });
}
