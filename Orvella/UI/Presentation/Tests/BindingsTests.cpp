#include "Orvella/UI/Presentation/Bindings.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace Orvella;
using Orvella::Testing::processEventsUntil;

// A bound label shows the current value at once and follows changes, also
// those made on another thread, which reach it on the GUI thread.
TEST(BindingsTests, propertyDrivesWidgetCurrentValueFirst)
{
    Reactive::MutableProperty<std::string> text("erste");
    auto label = std::make_unique<QLabel>();
    const auto guiThread = std::this_thread::get_id();
    bool offThread = false;
    bindProperty(label.get(), Reactive::Property<std::string>(text), [&](QLabel* target, const std::string& value) {
        offThread = offThread || std::this_thread::get_id() != guiThread;
        target->setText(QString::fromStdString(value));
    });
    EXPECT_EQ(label->text(), QStringLiteral("erste"));

    std::thread worker([&] { text.set("zweite"); });
    worker.join();
    ASSERT_TRUE(processEventsUntil([&] { return label->text() == QStringLiteral("zweite"); }));
    EXPECT_FALSE(offThread);
}

// A value still on its way when the widget is destroyed is dropped, not
// delivered into a dead widget.
TEST(BindingsTests, destroyedWidgetTakesNoMoreValues)
{
    Reactive::MutableProperty<int> number(1);
    int calls = 0;
    auto label = std::make_unique<QLabel>();
    bindProperty(label.get(), Reactive::Property<int>(number), [&](QLabel*, int) { ++calls; });
    std::thread worker([&] { number.set(2); });
    worker.join();
    label.reset();
    QCoreApplication::processEvents();
    number.set(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}

// A widget signal drives a mutable property, one value per emission.
TEST(BindingsTests, widgetSignalDrivesMutableProperty)
{
    Reactive::MutableProperty<std::string> text("");
    QLineEdit field;
    bindSignal(text, &field, &QLineEdit::textChanged, [](const QString& value) { return value.toStdString(); });
    field.setText(QStringLiteral("ab"));
    EXPECT_EQ(text.value(), "ab");
    field.clear();
    EXPECT_EQ(text.value(), "");
}
