#include "Orvella/Debug/TestSupport/PipedSyncEvents.hpp"
#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"
#include "Orvella/UI/Debug/DebugViewController.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"

#include <QComboBox>
#include <QLabel>
#include <QListView>

#include <gtest/gtest.h>

#include <thread>

using namespace Orvella;

// Lines made on the engine's thread reach the list on the GUI thread.
TEST(DebugViewControllerTests, versionEnvironmentAndEventsFromTheEngineThread)
{
    auto events = std::make_shared<Testing::PipedSyncEvents>();
    Reactive::MutableProperty<Quarlink::Environment> environment(Quarlink::Environment::live());
    auto model = std::make_shared<DebugViewModel>(events, environment);
    DebugViewController controller(model);
    EXPECT_EQ(controller.debugOnlyView(), nullptr);
    EXPECT_EQ(controller.appVersionLabel()->text(), QString::fromStdString(InfoPlistTools::versionString()));
    ASSERT_EQ(controller.apiPopUpButton()->count(), 1);
    EXPECT_EQ(controller.apiPopUpButton()->itemText(0), QStringLiteral("Live"));
    EXPECT_EQ(controller.apiPopUpButton()->currentIndex(), 0);
    EXPECT_EQ(controller.windowModality(), Qt::WindowModal);

    std::thread engine([&] {
        events->pipe.second.send({ Sync::SyncEvent::started(), Sync::Change::invalid() });
        events->pipe.second.send({ Sync::SyncEvent::finished(), Sync::Change::invalid() });
    });
    engine.join();
    auto* list = controller.syncEventTableView();
    ASSERT_TRUE(Testing::processEventsUntil([&] { return list->model()->rowCount() == 2; }));
    EXPECT_TRUE(list->model()->index(0, 0).data().toString().endsWith(QStringLiteral(" started")));
    EXPECT_TRUE(list->model()->index(1, 0).data().toString().endsWith(QStringLiteral(" \u2705")));
}
