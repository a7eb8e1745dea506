#pragma once

#include <any>
#include <string>
#include <utility>

namespace Quarlink {

// A recovery offer that a presenter may show as a button next to an error.
// The library only carries it: `action` is opaque here and is run, if at all,
// by whoever presents the error. Copied with the error that holds it.
class RecoveryInfo {
public:
    RecoveryInfo(std::string title, std::any action)
        : m_title(std::move(title))
        , m_action(std::move(action))
    {
    }

    [[nodiscard]] const std::string& title() const { return m_title; }
    [[nodiscard]] const std::any& action() const { return m_action; }

private:
    std::string m_title;
    std::any m_action;
};

} // namespace Quarlink
