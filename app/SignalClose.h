#pragma once

class QWidget;

// Ends the program the way its close box does when the system asks it to stop (SIGTERM at the
// end of a desktop session, SIGINT from Ctrl+C in a terminal, SIGHUP when the terminal goes),
// so the settings are written as on any other close. A second signal ends it at once.
// Call once, on the main thread, after the main window exists.
void CloseOnSignals(QWidget& mainWindow);
