#pragma once

#include "Orvella/Presentation/Workspace.hpp"

#include <QDBusConnection>
#include <QUrl>

#include <functional>

namespace Orvella {

// The workspace on a freedesktop.org desktop: addresses go to
// `QDesktopServices`; a file is revealed with the file manager's
// org.freedesktop.FileManager1.ShowItems over the session bus, asked without
// blocking; when no bus, no file manager or an error answers, its folder is
// opened instead.
class QtWorkspace final : public Workspace {
public:
    using Opener = std::function<void(const QUrl&)>;

    // `opener` opens an address (`QDesktopServices::openUrl` by default).
    explicit QtWorkspace(QDBusConnection bus = QDBusConnection::sessionBus(), Opener opener = {});

    void open(const Platform::URL& url) override;
    void revealFile(const std::string& path) override;

private:
    QDBusConnection m_bus;
    Opener m_opener;
};

} // namespace Orvella
