#pragma once

class QStackedWidget;
class QWidget;

namespace Orvella {

// Switches `stack` to `target`. Animated, the new view pushes in from the
// bottom over 0.35 s, eased in and out, while a picture of the old one
// leaves at the top; unanimated (a first placement, or transitions turned
// off) it is simply shown.
void pushFromBottom(QStackedWidget* stack, QWidget* target, bool animated);

// Off for tests and the gallery, where a screen must show its end state.
void setPushTransitionsEnabled(bool enabled);
[[nodiscard]] bool pushTransitionsEnabled();

} // namespace Orvella
