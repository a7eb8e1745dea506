#include "Orvella/Presentation/IconFactory.hpp"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

using namespace Orvella;

// Every named image is drawn at the size asked for, each one differently;
// an unknown name gives a null image.
TEST(IconFactoryTests, drawsEveryNamedImage)
{
    const IconFactory factory(QStringList {});
    ASSERT_EQ(IconFactory::names().size(), 9u);
    std::set<QByteArray> distinct;
    for (const auto& name : IconFactory::names()) {
        const auto image = factory.image(name, 48);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(48, 48)) << name;
        distinct.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(distinct.size(), 9u);
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
