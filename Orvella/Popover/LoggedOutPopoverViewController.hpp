#pragma once

#include "Orvella/Shared/ClientConfiguration.hpp"

#include <QWidget>

#include <string>

class QLabel;

namespace Orvella {

// The popover's content while nobody is logged in: one line asking the user
// to log in before using the application. GUI thread only.
class LoggedOutPopoverViewController final : public QWidget {
public:
    explicit LoggedOutPopoverViewController(const ClientConfiguration& configuration, QWidget* parent = nullptr);

    [[nodiscard]] QLabel* infoLabel() const { return m_infoLabel; }
    [[nodiscard]] const std::string& appName() const { return m_appName; }

private:
    QLabel* m_infoLabel = nullptr;
    std::string m_appName;
};

} // namespace Orvella
