#pragma once

#include "Platform/Foundation/NotificationCenter.hpp"

class QWidget;

namespace Orvella {

// Makes `window` post `windowWillCloseNotification`, with the window as
// sender, each time it is about to close (a close event: the user's close
// button, `QWidget::close()`), so that its visibility controller lets its
// controller go. Lives as long as the window.
void postWillCloseNotifications(QWidget* window,
    Platform::NotificationCenter& center = Platform::NotificationCenter::defaultCenter());

} // namespace Orvella
