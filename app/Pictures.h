#pragma once

#include <QIcon>
#include <QPixmap>

// The small pictures of the main window, drawn here rather than shipped as bitmaps.
QPixmap SmilePicture(); // the real drummer's yellow face, 16x16
QIcon FloppyIcon();     // "Ulož"
QIcon CogIcon();        // "Nastav"
QIcon ProgramIcon();    // the beat keeper: a grey pyramid with a red pendulum
