#pragma once

#include <QPushButton>

namespace Orvella {

// A flat button whose title is drawn underlined like a link, in the normal
// text colour. The underline is the button's font, so a title set later is
// underlined too.
class HyperlinkButton : public QPushButton {
    Q_OBJECT

public:
    explicit HyperlinkButton(const QString& title = QString(), QWidget* parent = nullptr);
};

} // namespace Orvella
