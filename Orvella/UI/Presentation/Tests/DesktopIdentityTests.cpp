#include "Orvella/UI/Presentation/DesktopIdentity.hpp"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace Orvella;

namespace {

QStringList texts(const QWidget& widget)
{
    QStringList result;
    for (const auto* button : widget.findChildren<QPushButton*>())
        result << button->text();
    for (const auto* label : widget.findChildren<QLabel*>())
        result << label->text();
    return result;
}

} // namespace

// Qt's own dialogs speak German once the translation is loaded: the folder
// chooser the account pane opens and the standard buttons of a dialog.
TEST(DesktopIdentityTests, QtsOwnDialogsSpeakGerman)
{
    ASSERT_TRUE(installGermanQtTranslations());

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Close);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Close)->text(), QStringLiteral("Schließen"));

    QMessageBox question(QMessageBox::Question, QString(), QStringLiteral("Frage"), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
    EXPECT_EQ(question.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));

    // As the account pane's folder chooser: Qt's own dialog where the desktop offers none.
    QFileDialog chooser(nullptr, QStringLiteral("Ordner wählen"), QDir::tempPath());
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    const auto shown = texts(chooser);
    EXPECT_TRUE(shown.contains(QStringLiteral("Abbrechen"))) << shown.join(" | ").toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("Cancel"))) << shown.join(" | ").toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("Look in:"))) << shown.join(" | ").toStdString();
}
