#pragma once

#include <QPointer>
#include <QWidget>

#include <utility>

namespace Orvella {

// A popover content controller as the container hands it out: the widget
// stays with this holder until the popover window takes it, and goes with
// the holder when nobody did.
class PopoverContent {
public:
    explicit PopoverContent(QWidget* widget) : m_widget(widget) {}
    virtual ~PopoverContent() { delete m_widget.data(); }
    PopoverContent(const PopoverContent&) = delete;
    PopoverContent& operator=(const PopoverContent&) = delete;

    // The widget, now owned by the caller.
    [[nodiscard]] QWidget* release() { return std::exchange(m_widget, nullptr).data(); }

private:
    QPointer<QWidget> m_widget;
};

// The content while logged in: a popover view controller with a new view model.
class LoggedInPopoverContent final : public PopoverContent {
public:
    using PopoverContent::PopoverContent;
};

// The content while logged out.
class LoggedOutPopoverContent final : public PopoverContent {
public:
    using PopoverContent::PopoverContent;
};

} // namespace Orvella
