#pragma once

#include "Shared/Color.hpp"

#include <QColor>
#include <QWidget>

#include <optional>

namespace Orvella {

// A plain view filled with one colour; without a colour it is transparent.
class ColoredView : public QWidget {
    Q_OBJECT

public:
    explicit ColoredView(QWidget* parent = nullptr) : QWidget(parent) {}

    [[nodiscard]] const std::optional<QColor>& backgroundColor() const { return m_backgroundColor; }
    // Repaints at once, also when the colour is unchanged; none clears the fill.
    void setBackgroundColor(std::optional<QColor> color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QColor> m_backgroundColor;
};

[[nodiscard]] QColor toQColor(const Color& color);

} // namespace Orvella
