#pragma once

#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Shared/ClientConfiguration.hpp"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace Orvella {

// The popover's content while nobody is logged in: one line asking the user
// to log in before using the application, and the two ways on from there:
// "Anmelden …" (the login window) and quit. GUI thread only.
class LoggedOutPopoverViewController final : public QWidget {
public:
    // `quit` ends the application; none: Qt's quit.
    explicit LoggedOutPopoverViewController(const ClientConfiguration& configuration, std::shared_ptr<NavigatorActions> actions = nullptr,
        std::function<void()> quit = {}, QWidget* parent = nullptr);

    [[nodiscard]] QLabel* infoLabel() const { return m_infoLabel; }
    [[nodiscard]] QPushButton* loginButton() const { return m_loginButton; }
    [[nodiscard]] QPushButton* quitButton() const { return m_quitButton; }
    [[nodiscard]] const std::string& appName() const { return m_appName; }

private:
    QLabel* m_infoLabel = nullptr;
    QPushButton* m_loginButton = nullptr;
    QPushButton* m_quitButton = nullptr;
    std::string m_appName;
    std::shared_ptr<NavigatorActions> m_actions;
    std::function<void()> m_quit;
};

} // namespace Orvella
