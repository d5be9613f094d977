// The program's icon, for its window and its notification-area icon.
#pragma once

#include <QIcon>

QIcon AppIcon();
