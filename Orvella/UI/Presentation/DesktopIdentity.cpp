#include "Orvella/UI/Presentation/DesktopIdentity.hpp"

#include "Shared/ClientConfiguration.hpp"
#include "Platform/Foundation/Log.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace Orvella {

bool installGermanQtTranslations()
{
    // The user interface is German whatever the session's locale.
    auto* translator = new QTranslator(QCoreApplication::instance());
    const auto folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_de"), folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        Platform::Log::failure("Die deutschen Texte von Qt (qtbase_de) fehlen in " + folder.toStdString());
        return false;
    }
    return true;
}

void setDesktopIdentity(const ClientConfiguration& configuration, const std::string& desktopEntryName, const QIcon& icon)
{
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(configuration.clientName()));
    QGuiApplication::setDesktopFileName(QString::fromStdString(desktopEntryName));
    QApplication::setWindowIcon(icon);
}

} // namespace Orvella
