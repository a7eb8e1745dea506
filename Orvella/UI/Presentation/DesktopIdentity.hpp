#pragma once

#include <QIcon>

#include <string>

namespace Orvella {

class ClientConfiguration;

// How the tray application shows itself to the desktop. Both run on the GUI
// thread, after the `QApplication` is made and before its first window.

// Qt's own texts (the folder chooser, the standard buttons of a dialog) in
// German: loads the translation "qtbase_de" from Qt's translations folder
// into the application, for the rest of its life. False, with a log line,
// when it is not installed there (the texts then stay English).
bool installGermanQtTranslations();

// The brand wherever the desktop names the application: its `clientName` is
// the display name, which every window title ends with (an untitled alert
// shows it alone, never the program's name); `desktopEntryName` (the
// installed menu entry's file name without ".desktop") ties the windows to
// that entry; `icon` is every window's icon.
void setDesktopIdentity(const ClientConfiguration& configuration, const std::string& desktopEntryName, const QIcon& icon);

} // namespace Orvella
