// The size of the frame a window manager puts around a top-level window on X11
// (_NET_FRAME_EXTENTS), known even before the window is first shown: the window
// manager is asked for it (_NET_REQUEST_FRAME_EXTENTS) and answers at once, so the
// window can be placed frame and all from its first show.
#pragma once

#include <QMargins>
#include <QWidget>
#include <optional>

// The frame's widths around `window` (left, top, right, bottom); nothing when the
// display is not X11 or no window manager answers within `waitMs` (0: the answer must
// be there already).
std::optional<QMargins> WindowManagerFrameExtents(QWidget& window, int waitMs);
