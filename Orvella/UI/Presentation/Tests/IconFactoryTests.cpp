#include "Orvella/UI/Presentation/IconFactory.hpp"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace Orvella;

// Every named image is drawn at the size asked for, each one differently;
// an unknown name gives a null image.
TEST(IconFactoryTests, drawsEveryNamedImage)
{
    const IconFactory factory(QStringList {});
    ASSERT_EQ(IconFactory::names().size(), 10u);
    std::set<QByteArray> distinct;
    for (const auto& name : IconFactory::names()) {
        const auto image = factory.image(name, 48);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(48, 48)) << name;
        distinct.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(distinct.size(), 10u);
    EXPECT_TRUE(factory.image("statusitem-unknown").isNull());
}

// A PNG named after an image replaces its drawing; the others stay drawn.
TEST(IconFactoryTests, resourceOfTheSameNameReplacesTheDrawing)
{
    QTemporaryDir folder;
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QDir(folder.path()).filePath("status-error.png")));
    const IconFactory factory(QStringList { folder.path() });
    const auto replaced = factory.image("status-error", 32);
    EXPECT_EQ(replaced.size(), QSize(32, 32));
    EXPECT_EQ(replaced.pixelColor(16, 16), QColor(Qt::red));
    EXPECT_NE(factory.image("status-sync", 32).pixelColor(16, 16), QColor(Qt::red));
}

// All nine images are written as PNG files that read back at their size.
TEST(IconFactoryTests, writesEveryImageAsPNG)
{
    QTemporaryDir folder;
    const auto target = QDir(folder.path()).filePath("emblems");
    ASSERT_TRUE(IconFactory(QStringList {}).writePNGs(target, 24).has_value());
    for (const auto& name : IconFactory::names()) {
        QImage written(QDir(target).filePath(QString::fromStdString(name) + ".png"));
        EXPECT_EQ(written.size(), QSize(24, 24)) << name;
    }
    EXPECT_FALSE(IconFactory(QStringList {}).writePNGs("/proc/no-such-folder").has_value());
}

namespace {

// WCAG's relative luminance of an opaque colour.
double luminance(const QColor& colour)
{
    const auto channel = [](double value) { return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor& first, const QColor& second)
{
    const double one = luminance(first);
    const double other = luminance(second);
    return (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05);
}

// The share of the image's pixels that, painted over `panel`, stand out
// from it at least as much as text must (3:1).
double visibleShare(const QImage& icon, const QColor& panel)
{
    QImage shown(icon.size(), QImage::Format_ARGB32);
    shown.fill(panel);
    QPainter painter(&shown);
    painter.drawImage(0, 0, icon);
    painter.end();
    int visible = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            visible += contrast(shown.pixelColor(x, y), panel) >= 3.0 ? 1 : 0;
        }
    }
    return double(visible) / (shown.width() * shown.height());
}

} // namespace

// Whatever colour the panel has, dark or light, every tray icon shows a
// good part of itself against it at the sizes trays ask for.
TEST(IconFactoryTests, trayIconsStandOutOnDarkAndLightPanels)
{
    const IconFactory factory(QStringList {});
    for (const char* name : { "statusitem-uptodate", "statusitem-syncing", "statusitem-error", "statusitem-pause" }) {
        for (int size : { 22, 48 }) {
            const auto icon = factory.image(name, size);
            for (const QColor panel : { QColor(0x1e, 0x1e, 0x1e), QColor(0x3c, 0x3f, 0x41), QColor(0xf6, 0xf5, 0xf4), QColor(Qt::white) }) {
                EXPECT_GE(visibleShare(icon, panel), 0.15) << name << " at " << size << " px on " << panel.name().toStdString();
            }
        }
    }
}
