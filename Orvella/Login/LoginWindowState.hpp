#pragma once

#include <string_view>

namespace Orvella {

// Which view the login window shows: the form, or the welcome after a login.
enum class LoginWindowState {
    login,
    welcome,
};

// "Login" or "Welcome".
[[nodiscard]] constexpr std::string_view description(LoginWindowState state)
{
    return state == LoginWindowState::login ? "Login" : "Welcome";
}

} // namespace Orvella
