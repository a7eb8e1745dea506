#pragma once

#include "Orvella/Windows/StatusPopover.hpp"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>
#include <optional>

class QWidget;

namespace Orvella {

// The tray icon's popover: a frameless `Qt::Popup` window holding the current
// content (the popover view or the logged-out view). `show` takes a
// `PopoverAnchor*` as sender and places the popover below it (above it when
// the panel is at the bottom of the screen); without the anchor's geometry,
// at the mouse pointer; without that, at the top right of the screen. Qt
// closes a popup on a click outside it; that close is reported as "closed by
// itself". Main thread only.
class PopoverWindow final : public StatusPopover {
public:
    PopoverWindow();
    ~PopoverWindow() override;

    // Replaces the content; the window takes ownership and deletes the old one.
    void setContent(QWidget* content);
    [[nodiscard]] QWidget* content() const;
    [[nodiscard]] QWidget& window() const;

    [[nodiscard]] bool isShown() const override;
    void show(const std::any& sender) override;
    void close() override;
    void setClosedByItself(std::function<void()> action) override;

    // Where a popover of `size` goes on `screen` for `anchor` (or `cursor`).
    [[nodiscard]] static QPoint position(QRect anchor, QSize size, QRect screen, std::optional<QPoint> cursor);

    class Frame;

private:
    std::unique_ptr<Frame> m_frame;
};

} // namespace Orvella
