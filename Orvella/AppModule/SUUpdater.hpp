#pragma once

#include "Platform/Foundation/Log.hpp"

namespace Orvella {

// The update checker. Updates come with the system's packages, so it only
// keeps and logs what the application asks of it.
class SUUpdater {
public:
    void setSendsSystemProfile(bool sends)
    {
        m_sendsSystemProfile = sends;
        Platform::Log::line(std::string("Update-Prüfung: Systemprofil ") + (sends ? "senden" : "nicht senden"));
    }
    [[nodiscard]] bool sendsSystemProfile() const { return m_sendsSystemProfile; }

private:
    bool m_sendsSystemProfile = true;
};

} // namespace Orvella
