#include "Orvella/UI/Presentation/IconFactory.hpp"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace Orvella {

namespace {

enum class Badge { none, upToDate, syncing, error, paused };

struct Drawing {
    std::string_view name;
    Badge badge;
    bool monochrome; // Tray icons: one dark ink with a light rim, so they show on dark and light panels alike.
};

constexpr Drawing drawings[] = {
    { "statusitem-uptodate", Badge::upToDate, true },
    { "statusitem-syncing", Badge::syncing, true },
    { "statusitem-error", Badge::error, true },
    { "statusitem-pause", Badge::paused, true },
    // Nobody logged in: the bare cloud, no state to tell.
    { "statusitem-loggedout", Badge::none, true },
    { "status-uptodate", Badge::upToDate, false },
    { "status-sync", Badge::syncing, false },
    { "status-error", Badge::error, false },
    { "status-paused", Badge::paused, false },
    { "MenueBarIcon", Badge::none, false },
};

const QColor brandBlue(0x1f, 0x6f, 0xc5);
const QColor trayGrey(0x4a, 0x4a, 0x4a);
// A tray application cannot learn the panel's colour (an XEmbed tray paints
// the icon over it; a light desktop theme often has a dark panel), so the
// tray icons carry their own contrast: dark ink for light panels inside a
// light rim for dark ones.
const QColor trayRim(0xf2, 0xf2, 0xf2);
constexpr double trayRimWidth = 12.0; // On the 100 × 100 grid; half of it lies outside the cloud.

QColor badgeColour(Badge badge)
{
    switch (badge) {
    case Badge::upToDate:
        return QColor(0x2e, 0x9d, 0x4f);
    case Badge::syncing:
        return brandBlue;
    case Badge::error:
        return QColor(0xd0, 0x32, 0x2f);
    case Badge::paused:
        return QColor(0x8a, 0x8a, 0x8a);
    case Badge::none:
        break;
    }
    return brandBlue;
}

// A cloud on a 100 × 100 grid.
QPainterPath cloudPath()
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addEllipse(QRectF(14, 38, 34, 34));
    path.addEllipse(QRectF(30, 22, 44, 44));
    path.addEllipse(QRectF(58, 40, 30, 30));
    path.addRoundedRect(QRectF(30, 52, 44, 20), 6, 6);
    return path.simplified();
}

void drawSymbol(QPainter& painter, Badge badge, const QColor& ink, QRectF box)
{
    QPen pen(ink, box.width() * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const auto x = [&](double fraction) { return box.left() + box.width() * fraction; };
    const auto y = [&](double fraction) { return box.top() + box.height() * fraction; };
    switch (badge) {
    case Badge::upToDate: {
        QPainterPath check;
        check.moveTo(x(0.25), y(0.52));
        check.lineTo(x(0.43), y(0.70));
        check.lineTo(x(0.76), y(0.32));
        painter.drawPath(check);
        break;
    }
    case Badge::syncing: {
        const QRectF ring(x(0.24), y(0.24), box.width() * 0.52, box.height() * 0.52);
        painter.drawArc(ring, 30 * 16, 150 * 16);
        painter.drawArc(ring, 210 * 16, 150 * 16);
        painter.setBrush(ink);
        painter.setPen(Qt::NoPen);
        QPolygonF head1 { QPointF(x(0.62), y(0.18)), QPointF(x(0.84), y(0.30)), QPointF(x(0.62), y(0.42)) };
        QPolygonF head2 { QPointF(x(0.38), y(0.58)), QPointF(x(0.16), y(0.70)), QPointF(x(0.38), y(0.82)) };
        painter.drawPolygon(head1);
        painter.drawPolygon(head2);
        break;
    }
    case Badge::error:
        painter.drawLine(QPointF(x(0.5), y(0.25)), QPointF(x(0.5), y(0.56)));
        painter.drawPoint(QPointF(x(0.5), y(0.76)));
        break;
    case Badge::paused:
        painter.drawLine(QPointF(x(0.38), y(0.28)), QPointF(x(0.38), y(0.72)));
        painter.drawLine(QPointF(x(0.62), y(0.28)), QPointF(x(0.62), y(0.72)));
        break;
    case Badge::none:
        break;
    }
}

QImage draw(const Drawing& drawing, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 100.0, size / 100.0);
    const QColor cloudColour = drawing.monochrome ? trayGrey : brandBlue;
    if (drawing.monochrome) {
        painter.setPen(QPen(trayRim, trayRimWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(trayRim);
        painter.drawPath(cloudPath());
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(cloudColour);
    painter.drawPath(cloudPath());
    if (drawing.badge == Badge::none) {
        return image;
    }
    const QRectF badgeBox(54, 54, 44, 44);
    if (drawing.monochrome) {
        // The badge sits in the rim's colour, which parts it from the cloud
        // on a light panel and outlines it on a dark one.
        painter.setBrush(trayRim);
        painter.drawEllipse(badgeBox.adjusted(-5, -5, 5, 5));
        painter.setBrush(cloudColour);
        painter.drawEllipse(badgeBox);
        drawSymbol(painter, drawing.badge, trayRim, badgeBox);
    } else {
        painter.setBrush(Qt::white);
        painter.drawEllipse(badgeBox.adjusted(-4, -4, 4, 4));
        painter.setBrush(badgeColour(drawing.badge));
        painter.drawEllipse(badgeBox);
        drawSymbol(painter, drawing.badge, Qt::white, badgeBox);
    }
    return image;
}

} // namespace

IconFactory::IconFactory(QStringList resourceFolders)
    : m_resourceFolders(std::move(resourceFolders))
{
}

const std::vector<std::string>& IconFactory::names()
{
    static const std::vector<std::string> all = [] {
        std::vector<std::string> result;
        for (const auto& drawing : drawings) {
            result.emplace_back(drawing.name);
        }
        return result;
    }();
    return all;
}

QImage IconFactory::image(std::string_view name, int size) const
{
    auto drawing = std::ranges::find(drawings, name, &Drawing::name);
    if (drawing == std::end(drawings) || size <= 0) {
        return {};
    }
    const auto fileName = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) + QStringLiteral(".png");
    for (const auto& folder : m_resourceFolders) {
        QImage resource(QDir(folder).filePath(fileName));
        if (!resource.isNull()) {
            return resource.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    return draw(*drawing, size);
}

QIcon IconFactory::icon(std::string_view name) const
{
    QIcon icon;
    for (int size : { 16, 22, 24, 32, 48, 64 }) {
        auto picture = image(name, size);
        if (!picture.isNull()) {
            icon.addPixmap(QPixmap::fromImage(picture));
        }
    }
    return icon;
}

std::expected<void, std::string> IconFactory::writePNGs(const QString& folder, int size) const
{
    if (!QDir().mkpath(folder)) {
        return std::unexpected(folder.toStdString());
    }
    for (const auto& name : names()) {
        const auto path = QDir(folder).filePath(QString::fromStdString(name) + QStringLiteral(".png"));
        if (!image(name, size).save(path, "PNG")) {
            return std::unexpected(path.toStdString());
        }
    }
    return {};
}

} // namespace Orvella
