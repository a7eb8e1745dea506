#pragma once

#include "Orvella/Presentation/Pasteboard.hpp"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace Orvella {

// The pasteboard as `QGuiApplication::clipboard()`. Every write replaces the
// clipboard's data with everything written since the last clear, so a
// pasting program finds both the URI list and the text.
class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    void writeURL(const Platform::URL& url) override;
    void setString(const std::string& text) override;

private:
    void publish();

    QList<QUrl> m_urls;
    std::optional<QString> m_text;
};

} // namespace Orvella
