// orvella-gallery --out DIR [SCREEN …]: renders the named screens (all when
// none is named) to DIR/<screen>.png; --list prints the screen names.

#include "Orvella/UI/Gallery/GalleryScreens.hpp"
#include "Orvella/UI/Presentation/DesktopIdentity.hpp"
#include "Orvella/UI/Presentation/QtMainLoop.hpp"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <set>
#include <string>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    auto loop = Orvella::QtMainLoop::install();
    // Qt's own texts in the screens as the application shows them.
    Orvella::installGermanQtTranslations();

    QString out;
    bool list = false;
    std::set<std::string> wanted;
    const auto arguments = QCoreApplication::arguments();
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        if (arguments[index] == QStringLiteral("--out") && index + 1 < arguments.size()) {
            out = arguments[++index];
        } else if (arguments[index] == QStringLiteral("--list")) {
            list = true;
        } else {
            wanted.insert(arguments[index].toStdString());
        }
    }
    const auto screens = Orvella::Gallery::screens();
    if (list) {
        for (const auto& screen : screens) {
            std::printf("%s\n", screen.name.c_str());
        }
        return 0;
    }
    if (out.isEmpty()) {
        std::fprintf(stderr, "usage: orvella-gallery --out DIR [SCREEN …] | --list\n");
        return 2;
    }
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot make %s\n", out.toLocal8Bit().constData());
        return 1;
    }
    int status = 0;
    std::set<std::string> found;
    for (const auto& screen : screens) {
        if (!wanted.empty() && !wanted.contains(screen.name)) {
            continue;
        }
        found.insert(screen.name);
        const auto path = QDir(out).filePath(QString::fromStdString(screen.name) + QStringLiteral(".png"));
        const QImage image = screen.render();
        if (image.isNull() || !image.save(path, "PNG")) {
            std::fprintf(stderr, "❗️ %s was not rendered\n", screen.name.c_str());
            status = 1;
            continue;
        }
        std::printf("%s\n", path.toLocal8Bit().constData());
    }
    for (const auto& name : wanted) {
        if (!found.contains(name)) {
            std::fprintf(stderr, "❗️ no screen named %s\n", name.c_str());
            status = 1;
        }
    }
    Reactive::MainLoop::setMain(nullptr);
    return status;
}
