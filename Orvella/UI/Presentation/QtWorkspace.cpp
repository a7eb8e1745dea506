#include "Orvella/UI/Presentation/QtWorkspace.hpp"

#include "Platform/Foundation/Log.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

namespace Orvella {

QtWorkspace::QtWorkspace(QDBusConnection bus, Opener opener)
    : m_bus(std::move(bus))
    , m_opener(opener ? std::move(opener) : Opener([](const QUrl& url) { QDesktopServices::openUrl(url); }))
{
}

void QtWorkspace::open(const Platform::URL& url)
{
    m_opener(QUrl(QString::fromStdString(url.absoluteString())));
}

void QtWorkspace::revealFile(const std::string& path)
{
    const QString filePath = QString::fromStdString(path);
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(filePath).absolutePath());
    if (!m_bus.isConnected()) {
        m_opener(folder);
        return;
    }
    auto message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("ShowItems"));
    message << QStringList { QUrl::fromLocalFile(filePath).toString() } << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [opener = m_opener, folder](QDBusPendingCallWatcher* call) {
        QDBusPendingReply<> reply = *call;
        if (reply.isError()) {
            Platform::Log::failure("The file manager did not show the file (" + reply.error().message().toStdString()
                + "); opening its folder");
            opener(folder);
        }
        call->deleteLater();
    });
}

} // namespace Orvella
