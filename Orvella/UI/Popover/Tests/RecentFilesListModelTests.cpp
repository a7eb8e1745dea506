#include "Orvella/UI/Popover/FileThumbnail.hpp"
#include "Orvella/UI/Popover/RecentFileDelegate.hpp"
#include "Orvella/UI/Popover/RecentFilesListModel.hpp"

#include <QDir>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Orvella;

namespace {

std::vector<RecentFileModelType> entries(int& selected)
{
    return { RecentFileModelType::section("Heute"),
        RecentFileModelType::file({ .fileName = "a.png", .filePath = "/nirgends/a.png", .dateString = "Heute, 10:00", .select = [&] { ++selected; } }),
        RecentFileModelType::file({ .fileName = "passwd", .filePath = std::nullopt, .dateString = "Gestern, 09:00", .select = [] {} }) };
}

} // namespace

// Rows name their kind and carry their texts; every row is 56 high; a row
// beyond the list has no data; selecting a file row runs its action once,
// a section row or no selection nothing.
TEST(RecentFilesListModelTests, rowsKindsAndSelection)
{
    auto source = std::make_shared<RecentFilesDataSource>();
    int selected = 0;
    source->cellModels().set(entries(selected));
    RecentFilesListModel model(source, [](const std::optional<std::string>&, int size) { return QImage(size, size, QImage::Format_ARGB32); });
    EXPECT_EQ(model.rowCount(), 0);
    model.reload();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0).data(RecentFilesListModel::kindRole).toString(), QStringLiteral("HeaderCell"));
    EXPECT_EQ(model.index(0).data().toString(), QStringLiteral("Heute"));
    EXPECT_EQ(model.index(1).data(RecentFilesListModel::kindRole).toString(), QStringLiteral("DataCell"));
    EXPECT_EQ(model.index(1).data(RecentFilesListModel::dateRole).toString(), QStringLiteral("Heute, 10:00"));
    EXPECT_EQ(model.index(1).data(RecentFilesListModel::pathRole).toString(), QStringLiteral("/nirgends/a.png"));
    EXPECT_EQ(model.index(2).data(RecentFilesListModel::pathRole).toString(), QString());
    EXPECT_EQ(model.index(2).data(Qt::SizeHintRole).toSize().height(), 56);
    EXPECT_FALSE(model.index(7).data().isValid());

    model.select(1);
    model.select(0);
    model.select(-1);
    model.select(9);
    EXPECT_EQ(selected, 1);

    // An index the view kept from before a shorter list came.
    const auto stale = model.index(2);
    source->cellModels().set({});
    model.reload();
    EXPECT_FALSE(model.data(stale).isValid());
}

// Pictures are made when the list is taken, once per file row, not at every paint.
TEST(RecentFilesListModelTests, thumbnailsAreMadeAtReloadNotAtPaint)
{
    auto source = std::make_shared<RecentFilesDataSource>();
    int selected = 0;
    source->cellModels().set(entries(selected));
    int made = 0;
    RecentFilesListModel model(source, [&](const std::optional<std::string>& path, int size) {
        ++made;
        return fileThumbnail(path, size);
    });
    model.reload();
    EXPECT_EQ(made, 2);
    QListView view;
    view.setModel(&model);
    view.setItemDelegate(new RecentFileDelegate(&view));
    view.resize(360, 200);
    for (int paint = 0; paint < 3; ++paint) {
        EXPECT_FALSE(view.grab().isNull());
    }
    EXPECT_EQ(made, 2);
}

// An image file shows its own pixels; another file, a missing one and a row
// without local path show an icon.
TEST(RecentFilesListModelTests, fileThumbnails)
{
    QTemporaryDir folder;
    const auto picture = QDir(folder.path()).filePath("foto.png");
    QImage green(200, 100, QImage::Format_ARGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(green.save(picture));
    const auto thumbnail = fileThumbnail(picture.toStdString(), 64);
    EXPECT_EQ(thumbnail.size(), QSize(64, 32));
    EXPECT_EQ(thumbnail.pixelColor(32, 16), QColor(Qt::green));

    const auto text = QDir(folder.path()).filePath("notiz.txt");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Hallo");
    file.close();
    EXPECT_FALSE(fileThumbnail(text.toStdString(), 64).isNull());
    EXPECT_FALSE(fileThumbnail(std::string("/nirgends/weg.png"), 64).isNull());
    EXPECT_FALSE(fileThumbnail(std::nullopt, 64).isNull());
}
