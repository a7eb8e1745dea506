#include "Orvella/UI/Gallery/ShareDialogScreens.hpp"

#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/ShareDialogs/PrivateShareCloseQuestion.hpp"
#include "Orvella/ShareDialogs/TestSupport/ShareDialogFakes.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/ShareDialogs/PrivateShareViewController.hpp"
#include "Orvella/UI/ShareDialogs/ShareDurationViewController.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace Orvella::Gallery {

namespace {

QImage messageBox(const Alert& alert, QWidget* over = nullptr)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    for (const auto& title : alert.buttons) {
        box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole);
    }
    settle(&box);
    box.adjustSize();
    const QImage boxImage = box.grab().toImage();
    if (over == nullptr) {
        return framed(boxImage);
    }
    QImage image = over->grab().toImage();
    if (image.width() < boxImage.width()) {
        image = image.scaledToWidth(boxImage.width());
    }
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(0, 0, 0, 50));
    const QPoint at((image.width() - boxImage.width()) / 2, 20);
    painter.drawImage(at, boxImage);
    return framed(image);
}

QImage shareDuration()
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Freigeben: Bericht.pdf"));
    (new QVBoxLayout(&window))->addWidget(new ShareDurationViewController(ShareDurationViewModel {
        .file = Testing::sharedItem(7, "Bericht.pdf"),
        .shareService = std::make_shared<Testing::FakePublicShareService>(),
        .fileStore = std::make_shared<Testing::ShareRecordStore>(),
        .navigator = std::make_shared<Testing::RecordingShareDurationNavigator>(),
        .userNotificationCenter = std::make_shared<Testing::RecordingNotificationCenter>(),
        .uiScheduler = std::make_shared<Reactive::TestScheduler>(),
    }));
    settle(&window);
    return framed(window.grab().toImage());
}

struct PrivateDialog {
    QWidget window;
    PrivateShareViewController* controller;

    explicit PrivateDialog(bool typed)
    {
        controller = new PrivateShareViewController(std::make_shared<PrivateShareViewModel>(Testing::sharedItem(8, "Projekte", true),
                                                        PrivateShareViewModel::Services {
                                                            .notificationCenter = std::make_shared<Testing::RecordingNotificationCenter>(),
                                                            .shareService = std::make_shared<Testing::FakePrivateShareService>(),
                                                            .fileStore = std::make_shared<Testing::ShareRecordStore>(),
                                                            .uiScheduler = std::make_shared<Reactive::TestScheduler>(),
                                                        }),
            std::make_shared<ScriptedAlertPresenter>(), std::make_shared<Reactive::TestScheduler>());
        (new QVBoxLayout(&window))->addWidget(controller);
        window.resize(420, 300);
        settle(&window);
        if (typed) {
            QTest::keyClicks(controller->recipientField(), "anna@example.de bernd@example");
            controller->messageView()->setPlainText(QStringLiteral("Hier sind die Unterlagen für Montag."));
            controller->submitButton()->setFocus();
            settle(&window);
        }
    }
};

} // namespace

std::vector<Screen> shareDialogScreens()
{
    return {
        { "share-duration", [] { return shareDuration(); } },
        { "share-private", [] { return framed(PrivateDialog(false).window.grab().toImage()); } },
        { "share-private-typed", [] { return framed(PrivateDialog(true).window.grab().toImage()); } },
        { "share-private-question", [] {
             PrivateDialog dialog(true);
             return messageBox(PrivateShareCloseQuestion::alert(), &dialog.window);
         } },
        { "alert-logout", [] { return messageBox(Navigator::logoutAlert("brisanto cloud")); } },
    };
}

} // namespace Orvella::Gallery
