#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// The main window's size on a screen large enough for it.
inline constexpr QSize kFirstWindowSize(1500, 920);
// Room for the frame the window manager puts around a window, unknown before
// the window is shown: a title bar and thin borders.
inline const QMargins kWindowFrameAllowance(8, 36, 8, 8);

// The first window on a screen: the preferred size, made smaller where the
// screen's free area (less the frame the window manager adds around the
// window) is smaller, and centred on that area with its frame. The result's
// size is the window's own size and its top-left the top-left of the frame,
// as QWidget::resize and QWidget::move take them for a window.
QRect firstWindowGeometry(const QSize& preferred, const QRect& available, const QMargins& frame);
