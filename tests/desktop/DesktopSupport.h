#pragma once

// What a desktop test asks of the X server directly: the frame the window
// manager put around a window, and keys and clicks sent through the server
// as a keyboard and a mouse would send them (xdotool, by way of XTEST).
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

namespace cantrel::test {

// The outer rectangle of a top-level window as the X server has it: the
// window manager's frame window around it, in screen coordinates. Without a
// frame (not yet managed) the window's own rectangle.
inline QRect serverFrame(const QWidget& window) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    QRect rect;
    if (xcb_connection_has_error(c) == 0) {
        xcb_window_t w = xcb_window_t(window.winId());
        for (;;) {
            xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
            const bool top = !tree || tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE;
            if (!top)
                w = tree->parent;
            free(tree);
            if (top)
                break;
        }
        if (xcb_get_geometry_reply_t* g =
                xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr)) {
            rect =
                QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
            free(g);
        }
    }
    xcb_disconnect(c);
    return rect;
}

// Runs xdotool with the arguments; false (with its output in the log) when it fails.
inline bool xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("xdotool"), arguments);
    const bool ran = tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit &&
                     tool.exitCode() == 0;
    if (!ran)
        qWarning("xdotool %s: %s %s", qPrintable(arguments.join(QLatin1Char(' '))),
                 qPrintable(tool.errorString()), tool.readAll().constData());
    return ran;
}

// Keys by their X names ("1", "e", "Tab", "Return"), to whatever window has
// the keyboard focus.
inline bool pressKeys(const QStringList& keys) {
    return xdotool(QStringList{QStringLiteral("key")} + keys);
}

inline bool typeText(const QString& text) {
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

// A left click at a point of a widget, through the pointer.
inline bool clickAt(const QWidget& widget, QPoint local) {
    const QPoint at = widget.mapToGlobal(local);
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace cantrel::test
