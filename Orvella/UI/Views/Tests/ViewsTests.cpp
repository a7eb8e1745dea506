#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/Views/ColoredView.hpp"
#include "Orvella/UI/Views/HyperlinkButton.hpp"
#include "Orvella/UI/Views/ResizableTokenField.hpp"
#include "Orvella/UI/Views/TabIgnoringTextView.hpp"

#include <QLineEdit>
#include <QTextCursor>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace Orvella;

TEST(ViewsTests, coloredViewAndHyperlinkButton)
{
    ColoredView view;
    view.resize(10, 10);
    EXPECT_FALSE(view.backgroundColor().has_value());
    view.setBackgroundColor(QColor(Qt::red));
    EXPECT_EQ(view.grab().toImage().pixelColor(5, 5), QColor(Qt::red));
    view.setBackgroundColor(std::nullopt);
    EXPECT_NE(view.grab().toImage().pixelColor(5, 5), QColor(Qt::red));

    HyperlinkButton link(QStringLiteral("Hilfe"));
    EXPECT_TRUE(link.isFlat());
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.palette().color(QPalette::ButtonText), QPushButton().palette().color(QPalette::ButtonText));
    HyperlinkButton empty;
    EXPECT_EQ(empty.text(), QString());
}

TEST(ViewsTests, tokensAtBlanksTabsAndLineBreaks)
{
    EXPECT_EQ(tokensOf(QStringLiteral(" anna@example.org\tberta  carl\n\ndora ")),
        (QStringList { QStringLiteral("anna@example.org"), QStringLiteral("berta"), QStringLiteral("carl"), QStringLiteral("dora") }));
    EXPECT_TRUE(tokensOf(QStringLiteral(" \n\t")).isEmpty());
    ResizableTokenField field;
    field.setPlainText(QStringLiteral("a b\nc"));
    EXPECT_EQ(field.objectValue(), (QStringList { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") }));
}

// Each token is drawn in its delegate's style: a chip gets a frame, plain text none.
TEST(ViewsTests, tokensAreDrawnInTheirDelegatesStyle)
{
    struct Delegate final : ResizableTokenFieldDelegate {
        mutable QStringList asked;
        TokenStyle styleForToken(const QString& token) const override
        {
            asked.push_back(token);
            return token.contains(QLatin1Char('@')) ? TokenStyle::chip : TokenStyle::plain;
        }
    } delegate;
    ResizableTokenField field;
    field.resize(300, 40);
    field.setPlainText(QStringLiteral("anna@example.org berta"));
    const QImage unstyled = field.grab().toImage();
    field.setDelegate(&delegate);
    const QImage styled = field.grab().toImage();
    EXPECT_EQ(delegate.asked, (QStringList { QStringLiteral("anna@example.org"), QStringLiteral("berta") }));
    EXPECT_NE(unstyled, styled);
    const QColor frame = field.palette().color(QPalette::Highlight);
    auto framedColumns = [&](const QImage& image, int from, int to) {
        int count = 0;
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y) == frame) {
                    ++count;
                    break;
                }
            }
        }
        return count;
    };
    // Without a delegate both tokens are chips; with it the plain one loses its frame.
    const int plainStart = field.cursorRect(QTextCursor(field.document())).left()
        + field.fontMetrics().horizontalAdvance(QStringLiteral("anna@example.org ")) + 4;
    EXPECT_GT(framedColumns(unstyled, plainStart, unstyled.width()), 0);
    EXPECT_EQ(framedColumns(styled, plainStart, styled.width()), 0);
}

// While edited the field is as high as its text plus 5, line by line; else its default height.
TEST(ViewsTests, tokenFieldGrowsAndShrinksWhileEditing)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new ResizableTokenField(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    window.resize(300, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    other->setFocus();
    ASSERT_TRUE(Testing::processEventsUntil([&] { return other->hasFocus(); }));
    EXPECT_FALSE(field->isEditing());
    const int standard = field->sizeHint().height();
    field->setFocus();
    ASSERT_TRUE(Testing::processEventsUntil([&] { return field->isEditing(); }));
    QTest::keyClicks(field, QStringLiteral("anna"));
    const int oneLine = field->sizeHint().height();
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClicks(field, QStringLiteral("berta"));
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClicks(field, QStringLiteral("carl"));
    const int threeLines = field->sizeHint().height();
    EXPECT_GT(threeLines, oneLine);
    const int lineHeight = (threeLines - oneLine) / 2;
    EXPECT_GT(lineHeight, 0);
    for (int count = 0; count < 5; ++count) {
        QTest::keyClick(field, Qt::Key_Backspace);
    }
    EXPECT_EQ(field->sizeHint().height(), threeLines - lineHeight);
    ASSERT_TRUE(Testing::processEventsUntil([&] { return field->height() == threeLines - lineHeight; }));
    other->setFocus();
    ASSERT_TRUE(Testing::processEventsUntil([&] { return !field->isEditing(); }));
    EXPECT_EQ(field->sizeHint().height(), standard);
}

TEST(ViewsTests, tabMovesTheFocusOtherKeysType)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* message = new TabIgnoringTextView(&window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(before);
    layout->addWidget(message);
    layout->addWidget(after);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    message->setFocus();
    ASSERT_TRUE(Testing::processEventsUntil([&] { return message->hasFocus(); }));
    QTest::keyClicks(message, QStringLiteral("Hallo"));
    QTest::keyClick(message, Qt::Key_Return);
    QTest::keyClicks(message, QStringLiteral("Welt"));
    QTest::keyClick(message, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus());
    EXPECT_EQ(message->toPlainText(), QStringLiteral("Hallo\nWelt"));
    message->setFocus();
    QTest::keyClick(message, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(before->hasFocus());
    EXPECT_EQ(message->toPlainText(), QStringLiteral("Hallo\nWelt"));
}
