// Dravik's program icon, drawn at start (no image file ships with it).
#pragma once

#include <QIcon>

QIcon DravikIcon();
