#include "Orvella/UI/Popover/FileThumbnail.hpp"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStyle>

namespace Orvella {

namespace {

QImage genericIcon(int size)
{
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon).pixmap(size, size).toImage();
}

} // namespace

QImage fileThumbnail(const std::optional<std::string>& path, int size)
{
    if (!path) {
        return genericIcon(size);
    }
    const QString filePath = QString::fromStdString(*path);
    const QFileInfo info(filePath);
    if (info.isFile()) {
        QImageReader reader(filePath);
        if (reader.canRead()) {
            QSize scaled = reader.size();
            if (scaled.isValid()) {
                reader.setScaledSize(scaled.scaled(size, size, Qt::KeepAspectRatio));
            }
            if (QImage image = reader.read(); !image.isNull()) {
                return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            }
        }
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(filePath, info.exists() ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        return genericIcon(size);
    }
    return icon.pixmap(size, size).toImage();
}

} // namespace Orvella
