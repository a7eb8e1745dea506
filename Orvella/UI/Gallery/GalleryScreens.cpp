#include "Orvella/UI/Gallery/GalleryScreens.hpp"
#include "Orvella/UI/Gallery/ShareDialogScreens.hpp"
#include "Orvella/UI/Gallery/WindowScreens.hpp"

#include "Orvella/Popover/TestSupport/PopoverFakes.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/UI/Popover/LoggedOutPopoverViewController.hpp"
#include "Orvella/UI/Popover/PopoverViewController.hpp"
#include "Orvella/UI/StatusItem/StatusItemController.hpp"
#include "Orvella/UI/StatusItem/StatusItemMenu.hpp"

#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolButton>

#include <chrono>

namespace Orvella::Gallery {

namespace {

using namespace Orvella::Testing;
using Sync::SyncStatus;

struct State {
    const char* name;
    SyncStatus status;
};

const std::vector<State>& states()
{
    static const std::vector<State> all = {
        { "allinsync", SyncStatus::allInSync(Platform::Date::fromWholeSecondsSince1970(1'765'288'800)) },
        { "disabled", SyncStatus::disabled() },
        { "notreachable", SyncStatus::notReachable() },
        { "checking", SyncStatus::checking() },
        { "syncing", SyncStatus::syncing() },
    };
    return all;
}

// 9 December 2026, 14:30 in Berlin, the gallery's "now".
const Platform::Date now = Platform::Date::fromWholeSecondsSince1970(1'765'287'000);

Platform::Date minutesAgo(int minutes)
{
    return now.addingSeconds(-60.0 * minutes);
}

// A cloud folder with a picture and a text file, so rows show a thumbnail and icons.
QString cloudFolder()
{
    static QTemporaryDir folder;
    static const bool made = [] {
        QDir(folder.path()).mkpath("Bilder");
        QImage picture(120, 80, QImage::Format_ARGB32);
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), QColor(0x7f, 0xb8, 0xe6));
        painter.fillRect(QRect(0, 50, 120, 30), QColor(0x4c, 0x9a, 0x4a));
        painter.setBrush(QColor(0xf5, 0xd0, 0x33));
        painter.drawEllipse(QRect(80, 10, 24, 24));
        painter.end();
        picture.save(QDir(folder.path()).filePath("Bilder/Urlaubsfoto.png"));
        QFile notes(QDir(folder.path()).filePath("Notizen.txt"));
        if (notes.open(QIODevice::WriteOnly)) {
            notes.write("Einkaufen\n");
        }
        return true;
    }();
    (void)made;
    return folder.path();
}

std::vector<Sync::FileRef> rows()
{
    return { file("/Bilder/Urlaubsfoto.png", minutesAgo(255)), file("/Berichte/Bericht 2026.pdf", minutesAgo(20 * 60 + 28)),
        file("/Präsentation Übersicht März.pptx", minutesAgo(44 * 60)), file("/Notizen.txt", minutesAgo(3 * 24 * 60)),
        file("/Archiv/Steuererklärung 2025 – endgültige Fassung mit Belegen.xlsx", minutesAgo(8 * 24 * 60)) };
}

// One popover with fake services, its list answered with `files` unless none.
struct Popover {
    std::shared_ptr<Reactive::TestScheduler> mainQueue = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<FakeFilesProvider> files = std::make_shared<FakeFilesProvider>();
    std::shared_ptr<FakeSyncStatusProvider> status;
    std::shared_ptr<FakeQuotaProvider> quota = std::make_shared<FakeQuotaProvider>();
    std::shared_ptr<PopoverViewModel> viewModel;
    std::unique_ptr<PopoverViewController> controller;

    Popover(SyncStatus state, std::optional<std::vector<Sync::FileRef>> answer)
        : status(std::make_shared<FakeSyncStatusProvider>(state))
    {
        quota->current.set({ .usedBytes = 7'301'444'403, .totalBytes = 50ll * 1024 * 1024 * 1024 });
        viewModel = std::make_shared<PopoverViewModel>(
            PopoverViewModel::Services { .configuration = std::make_shared<BrisantoClientConfiguration>(),
                .syncEnabler = std::make_shared<FakeSyncEnabler>(),
                .quotaProvider = quota,
                .fileProvider = files,
                .navigator = std::make_shared<RecordingPopoverNavigator>(),
                .syncStatusProvider = status,
                .cloudFolder = std::make_shared<FakeCloudFolder>(cloudFolder().toStdString()) },
            PopoverViewModel::Schedulers { .ui = Reactive::UIScheduler::make(), .mainQueue = mainQueue },
            RowDateFormatter([] { return now; }, TimeZone::fixed(std::chrono::hours(1))));
        mainQueue->advance();
        if (answer) {
            FakeFilesProvider::answer(files->last(), *answer);
        }
        controller = std::make_unique<PopoverViewController>(viewModel, std::make_shared<RecordingNavigatorActions>(),
            std::make_shared<IconFactory>(), [] {});
        settle();
    }

    void settle()
    {
        controller->adjustSize();
        controller->show();
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
        }
    }

    QImage image() const
    {
        QImage result = controller->grab().toImage();
        QPainter painter(&result);
        painter.setPen(QColor(0, 0, 0, 60));
        painter.drawRect(result.rect().adjusted(0, 0, -1, -1));
        return result;
    }
};

QImage trayIcon(const SyncStatus& state)
{
    auto status = std::make_shared<FakeSyncStatusProvider>(state);
    class Nowhere final : public StatusItemNavigator {
    public:
        void togglePopover(const std::any&) override {}
    };
    auto icons = std::make_shared<IconFactory>();
    StatusItemController controller(std::make_shared<StatusItemViewModel>(status, std::make_shared<Nowhere>()), icons,
        StatusItemController::Host::fallbackWindow);
    QCoreApplication::processEvents();
    // The icon enlarged, and at its size in a strip of panel, as a tray shows it.
    QImage strip(240, 72, QImage::Format_ARGB32);
    strip.fill(Qt::white);
    QPainter painter(&strip);
    painter.drawImage(QRect(4, 4, 64, 64), icons->image(controller.iconName(), 64));
    const QRect panel(84, 22, 152, 28);
    painter.fillRect(panel, QColor(0xe8, 0xe8, 0xe8));
    painter.setPen(QColor(0x30, 0x30, 0x30));
    painter.drawText(panel.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Mi 14:30"));
    controller.statusItem().icon().paint(&painter, QRect(panel.right() - 27, panel.top() + 2, 24, 24));
    painter.end();
    return strip;
}

// The tray icon's right-click menu, hanging below the icon in its panel.
QImage trayMenu()
{
    auto status = std::make_shared<FakeSyncStatusProvider>(SyncStatus::allInSync({}));
    StatusItemMenu menu(StatusItemMenu::Services { .clientName = BrisantoClientConfiguration {}.clientName(),
        .actions = std::make_shared<RecordingNavigatorActions>(),
        .syncStatus = status,
        .syncEnabler = std::make_shared<FakeSyncEnabler>(),
        .quit = [] {} });
    menu.popup(QPoint(0, 0));
    menu.adjustSize();
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
    const QImage menuImage = menu.grab().toImage();
    menu.hide();
    auto icons = std::make_shared<IconFactory>();
    const int width = std::max(menuImage.width() + 40, 240);
    QImage result(width, 28 + menuImage.height() + 8, QImage::Format_ARGB32);
    result.fill(Qt::white);
    QPainter painter(&result);
    const QRect panel(0, 0, width, 28);
    painter.fillRect(panel, QColor(0xe8, 0xe8, 0xe8));
    painter.setPen(QColor(0x30, 0x30, 0x30));
    painter.drawText(panel.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Mi 14:30"));
    const QRect icon(width - 60, 2, 24, 24);
    painter.drawImage(icon, icons->image("statusitem-uptodate", 24));
    const QPoint at(std::max(0, icon.center().x() - menuImage.width() + 12), panel.bottom() + 1);
    painter.drawImage(at, menuImage);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(QRect(at, menuImage.size()).adjusted(0, 0, -1, -1));
    return result;
}

QImage popoverWithMenu()
{
    Popover popover(SyncStatus::allInSync({}), rows());
    auto& controller = *popover.controller;
    controller.showPopupMenu(controller.openMenuButton());
    auto* menu = controller.popupMenu();
    menu->adjustSize();
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
    const QImage base = popover.image();
    const QImage menuImage = menu->grab().toImage();
    const auto* button = controller.openMenuButton();
    QPoint at = button->mapTo(&controller, button->rect().center());
    // Menus open towards the free side: the button sits at the bottom right.
    at -= QPoint(menuImage.width(), menuImage.height());
    const QRect all = QRect(QPoint(0, 0), base.size()).united(QRect(at, menuImage.size()));
    QImage result(all.size(), QImage::Format_ARGB32);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawImage(-all.topLeft(), base);
    painter.drawImage(at - all.topLeft(), menuImage);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(QRect(at - all.topLeft(), menuImage.size()).adjusted(0, 0, -1, -1));
    menu->hide();
    return result;
}

} // namespace

std::vector<Screen> screens()
{
    std::vector<Screen> all;
    for (const auto& state : states()) {
        all.push_back({ std::string("tray-") + state.name, [status = state.status] { return trayIcon(status); } });
    }
    for (const auto& state : states()) {
        all.push_back({ std::string("popover-") + state.name, [status = state.status] { return Popover(status, rows()).image(); } });
    }
    all.push_back({ "popover-empty", [] { return Popover(SyncStatus::allInSync({}), std::vector<Sync::FileRef> {}).image(); } });
    all.push_back({ "popover-searching", [] {
                       Popover popover(SyncStatus::syncing(), rows());
                       popover.mainQueue->advance(std::chrono::seconds(1));
                       popover.controller->filesSearchField()->setText(QStringLiteral("Bericht"));
                       popover.mainQueue->advance();
                       popover.settle();
                       return popover.image();
                   } });
    all.push_back({ "popover-menu", [] { return popoverWithMenu(); } });
    all.push_back({ "tray-menu", [] { return trayMenu(); } });
    all.push_back({ "logged-out", [] {
                       LoggedOutPopoverViewController controller(BrisantoClientConfiguration {});
                       controller.adjustSize();
                       controller.show();
                       QCoreApplication::processEvents();
                       return controller.grab().toImage();
                   } });
    for (auto& screen : windowScreens()) {
        all.push_back(std::move(screen));
    }
    for (auto& screen : shareDialogScreens()) {
        all.push_back(std::move(screen));
    }
    return all;
}

} // namespace Orvella::Gallery
