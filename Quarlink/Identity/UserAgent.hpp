#pragma once

#include <string>

namespace Quarlink {

// The description of the calling application and machine that every request
// carries in its "User-Agent" header. Built for every request from the registered
// application facts; the machine's facts are read once per process. A plain value.
class UserAgent {
public:
    // The kinds of client the header format knows. This program only ever
    // builds `linuxDesktop`; the others keep their formats for completeness.
    enum class Kind {
        ios,
        tvos,
        watchos,
        linuxDesktop,
    };

    struct Details {
        // The application's name.
        std::string appName;
        // The application's short version.
        std::string appVersion;
        // The machine model.
        std::string model;
        // The operating system's version.
        std::string systemVersion;
        // The display's backing scale, written with one decimal.
        double scale { 1.0 };
    };

    UserAgent(Kind kind, Details details)
        : m_kind(kind)
        , m_details(std::move(details))
    {
    }

    // The running application on this machine: name from the registered
    // executable name, else the identifier, else "Quarlink"; version from the
    // short version, else "1.0"; model and system version from `SystemInfo`,
    // read at the first call and kept for the life of the process;
    // scale from the registered screen scale, else 1.0.
    [[nodiscard]] static UserAgent current();

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const Details& details() const { return m_details; }

    // The header value, e.g. "Orvella/2.4 (Standard PC; Linux 12; Scale: 1.0)".
    // The parts are joined without escaping or trimming; the scale is written
    // with a decimal point under every locale.
    [[nodiscard]] std::string stringValue() const;

private:
    Kind m_kind;
    Details m_details;
};

} // namespace Quarlink
