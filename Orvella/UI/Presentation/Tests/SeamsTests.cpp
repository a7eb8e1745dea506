#include "Orvella/Preferences/CloudFolderCreationError.hpp"
#include "Orvella/ShareDialogs/PrivateShareCloseQuestion.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/Presentation/QtAlertPresenter.hpp"
#include "Orvella/UI/Presentation/QtPasteboard.hpp"
#include "Orvella/UI/Presentation/QtWorkspace.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusError>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Orvella;
using Orvella::Testing::processEventsUntil;
using Orvella::Testing::whenAlertShows;

namespace {

// A session bus of the test's own, so the tests need no desktop session.
class PrivateBus {
public:
    PrivateBus()
    {
        m_daemon.start("dbus-daemon", { "--session", "--nofork", "--print-address=1" });
        if (m_daemon.waitForStarted() && m_daemon.waitForReadyRead(5000)) {
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    // Connections are kept for the whole run: Qt closes a released bus
    // connection on its own thread, which may still be at it when the process
    // ends and so look like a leak.
    QDBusConnection connect(const QString& name) const
    {
        static std::vector<QDBusConnection> kept;
        kept.push_back(QDBusConnection::connectToBus(m_address, name));
        return kept.back();
    }
    bool isRunning() const { return !m_address.isEmpty(); }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace

// A stand-in file manager on the private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// Revealing a file asks the file manager on the bus to show it selected,
// and opens nothing else.
TEST(SeamsTests, workspaceRevealsFileThroughTheFileManager)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    auto service = bus.connect("service");
    FakeFileManager fileManager;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));

    std::vector<QUrl> opened;
    QtWorkspace workspace(bus.connect("client"), [&](const QUrl& url) { opened.push_back(url); });
    workspace.revealFile("/home/nutzer/Cloud/Berichte/März.pdf");
    ASSERT_TRUE(processEventsUntil([&] { return !fileManager.shown.isEmpty(); }));
    EXPECT_EQ(fileManager.shown, QStringList { QUrl::fromLocalFile("/home/nutzer/Cloud/Berichte/März.pdf").toString() });
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened.empty());
}

// Without a file manager on the bus, or without a bus, the file's folder opens.
TEST(SeamsTests, workspaceOpensTheFolderWhenNoFileManagerAnswers)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    std::vector<QUrl> opened;
    QtWorkspace workspace(bus.connect("lonely"), [&](const QUrl& url) { opened.push_back(url); });
    workspace.revealFile("/home/nutzer/Cloud/a.txt");
    ASSERT_TRUE(processEventsUntil([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QUrl> { QUrl::fromLocalFile("/home/nutzer/Cloud") });

    std::vector<QUrl> withoutBus;
    QtWorkspace noBus(QDBusConnection("no-such-connection"), [&](const QUrl& url) { withoutBus.push_back(url); });
    noBus.revealFile("/tmp/x/y.txt");
    noBus.open(*Platform::URL::create("https://www.example.org/hilfe"));
    EXPECT_EQ(withoutBus, (std::vector<QUrl> { QUrl::fromLocalFile("/tmp/x"), QUrl("https://www.example.org/hilfe") }));
}

// A copied link is on the clipboard both as a URI and as text.
TEST(SeamsTests, pasteboardHoldsLinkAsURLAndText)
{
    QtPasteboard pasteboard;
    const auto link = *Platform::URL::create("https://share.example.org/l/abc");
    pasteboard.clearContents();
    pasteboard.writeURL(link);
    pasteboard.setString(link.absoluteString());
    const auto* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls(), QList<QUrl> { QUrl("https://share.example.org/l/abc") });
    EXPECT_EQ(data->text(), QStringLiteral("https://share.example.org/l/abc"));
}

// The answer names the clicked button by its position: 1000 for the first.
TEST(SeamsTests, alertAnswersInButtonOrder)
{
    QtAlertPresenter presenter;
    const Alert alert { .messageText = "Aus Orvella abmelden",
        .informativeText = "Möchten Sie diesen Computer aus der Orvella abmelden?",
        .style = AlertStyle::warning,
        .buttons = { "Ok", "Abbrechen" } };
    for (int wanted : { 0, 1 }) {
        QString seenText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seenText = box->text();
            const auto buttons = box->buttons();
            for (auto* button : buttons) {
                if (button->text() == (wanted == 0 ? "Ok" : "Abbrechen")) {
                    button->click();
                }
            }
        });
        EXPECT_EQ(presenter.runModal(alert), 1000 + wanted);
        EXPECT_EQ(seenText, QStringLiteral("Aus Orvella abmelden"));
    }
}

// No alert of the application deletes, discards or logs out on Escape or on
// the window's close button: both give the alert's safe answer, whatever its
// position among the buttons.
TEST(SeamsTests, escapeAndClosingGiveEachAlertsSafeAnswer)
{
    QtAlertPresenter presenter;
    QObject owner;
    const std::vector<std::pair<Alert, int>> alerts {
        { CloudFolderCreationError::folderNotEmpty().alert(), AlertPresenter::firstButton },
        { CloudFolderCreationError::folderRecursion().alert(), AlertPresenter::firstButton },
        { Navigator::logoutAlert("brisanto cloud"), AlertPresenter::firstButton + 1 },
        { PrivateShareCloseQuestion::alert(), AlertPresenter::firstButton + 1 },
        { Alert { .messageText = "Fehler", .informativeText = "Die Freigabe ist nicht erlaubt." }, AlertPresenter::firstButton },
    };
    for (const auto& [alert, safeAnswer] : alerts) {
        SCOPED_TRACE(alert.messageText + " / " + std::to_string(alert.buttons.size()) + " buttons");
        whenAlertShows(&owner, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        EXPECT_EQ(presenter.runModal(alert), safeAnswer);
        whenAlertShows(&owner, [](QMessageBox* box) { box->windowHandle()->close(); });
        EXPECT_EQ(presenter.runModal(alert), safeAnswer);
        whenAlertShows(&owner, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
        EXPECT_EQ(presenter.runModal(alert), AlertPresenter::firstButton);
    }
}

namespace {

// Records every address the widgets hand to the desktop's opener for one scheme.
class OpenedAddresses : public QObject {
    Q_OBJECT
public:
    explicit OpenedAddresses(const QString& scheme) : m_scheme(scheme) { QDesktopServices::setUrlHandler(scheme, this, "open"); }
    ~OpenedAddresses() override { QDesktopServices::unsetUrlHandler(m_scheme); }
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }

private:
    QString m_scheme;
};

// Clicks every few pixels of the label, wherever a link in it might be drawn.
void clickAllOver(QLabel* label)
{
    const QRect area = label->rect();
    for (int y = area.top() + 2; y < area.bottom(); y += 4) {
        for (int x = area.left() + 2; x < area.right(); x += 12)
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(x, y));
    }
}

} // namespace

// The service's error text once carried a link into an alert, and one click
// ran the desktop's opener on file:///etc/passwd: every label of an alert
// shows its text as it came, and no click on it opens anything.
TEST(SeamsTests, anAlertShowsTheServicesTextAsItCameAndNoClickOpensALink)
{
    OpenedAddresses files(QStringLiteral("file"));
    OpenedAddresses pages(QStringLiteral("https"));
    QtAlertPresenter presenter;
    QObject owner;
    const std::string link = "<a href=\"file:///etc/passwd\">Details anzeigen und weitere Informationen lesen</a>";
    const std::string page = "<a href=\"https://evil.example.org/\">Zur Anmeldung hier entlang und bitte klicken</a>";
    const Alert alert { .messageText = link, .informativeText = page };
    QStringList shown;
    whenAlertShows(&owner, [&](QMessageBox* box) {
        for (auto* label : box->findChildren<QLabel*>()) {
            if (!label->text().contains(QStringLiteral("href")))
                continue;
            shown.push_back(label->text());
            clickAllOver(label);
        }
        box->buttons().front()->click();
    });
    EXPECT_EQ(presenter.runModal(alert), AlertPresenter::firstButton);
    EXPECT_EQ(shown, (QStringList { QString::fromStdString(link), QString::fromStdString(page) }));
    EXPECT_TRUE(files.opened.isEmpty()) << files.opened.front().toString().toStdString();
    EXPECT_TRUE(pages.opened.isEmpty()) << pages.opened.front().toString().toStdString();
}

#include "SeamsTests.moc"
