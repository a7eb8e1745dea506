#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace Orvella {

// The application's named images: the four tray icons ("statusitem-…"), the
// four state icons of the popover and the file-manager badges ("status-…"),
// and the context-menu icon ("MenueBarIcon"). Each is drawn with `QPainter`
// unless a PNG of that name ("<name>.png") lies in one of the resource
// folders, which then replaces the drawing. `image` and `writePNGs` work on
// any thread; `icon` makes pixmaps and so belongs to the GUI thread.
class IconFactory {
public:
    // Searched in order; the default is the Qt resource folder ":/images".
    explicit IconFactory(QStringList resourceFolders = { QStringLiteral(":/images") });

    // Every name this factory draws, in a fixed order.
    [[nodiscard]] static const std::vector<std::string>& names();

    // The image of `name`, `size` pixels square (a resource is scaled to it);
    // a null image for a name it does not know.
    [[nodiscard]] QImage image(std::string_view name, int size = 64) const;
    // The same at the sizes a tray and a menu ask for.
    [[nodiscard]] QIcon icon(std::string_view name) const;

    // Writes "<name>.png" of every image into `folder` (made when missing) at
    // `size` pixels; the error names the file that could not be written.
    [[nodiscard]] std::expected<void, std::string> writePNGs(const QString& folder, int size = 64) const;

private:
    QStringList m_resourceFolders;
};

} // namespace Orvella
