#include "Orvella/Preferences/AccountPreferencesViewModel.hpp"
#include "Orvella/Preferences/GeneralPreferencesViewModel.hpp"
#include "Orvella/Preferences/Tests/AccountFixture.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Orvella;
using namespace Orvella::Testing;
using Platform::Testing::TemporaryDirectory;
using Kind = CloudFolderCreationError::Kind;

TEST(GeneralPreferencesViewModelTests, holdsTheSettingsOwnPropertiesAndTheVersion)
{
    Reactive::MutableProperty<bool> launch(false), notifications(true), tracking(true);
    GeneralPreferencesViewModel model(launch, notifications, tracking, "2.1 (7)");
    model.enableUsageTracking().set(false);
    EXPECT_FALSE(tracking.value());
    EXPECT_EQ(&model.launchOnStartup(), &launch);
    EXPECT_EQ(model.versionText(), "2.1 (7)");
    GeneralPreferencesViewModel built(launch, notifications, tracking);
    EXPECT_FALSE(built.versionText().empty());
}

TEST(CloudFolderCreationErrorTests, textsStylesAndButtons)
{
    const auto recursion = CloudFolderCreationError::folderRecursion();
    EXPECT_EQ(recursion.subject(), "Fehler beim Anlegen des Cloud Ordners.");
    EXPECT_EQ(recursion.alertMessageText(), "Unzulässiger Ordner");
    EXPECT_EQ(recursion.reason(), "Der neue Cloud-Ordner darf nicht innerhalb des alten Cloud-Ordners liegen.");
    EXPECT_EQ(recursion.alert().buttons, std::vector<std::string> { "Ok" });
    const auto notEmpty = CloudFolderCreationError::folderNotEmpty();
    EXPECT_EQ(notEmpty.reason(),
        "Der neue Cloud-Ordner muss leer sein und darf keine Dateien oder Ordner enthalten.\n"
        "Sollen alle Dateien und Ordner im neuen Ordner unwiderruflich gelöscht werden?");
    EXPECT_EQ(notEmpty.alert().buttons, (std::vector<std::string> { "Ok", "Ordnerinhalt löschen" }));
    EXPECT_EQ(notEmpty.alertStyle(), AlertStyle::warning);
    const auto denied = CloudFolderCreationError::couldNotCheckFolder(Platform::FileSystemError::fromErrno(EACCES, "/x"));
    const auto other = CloudFolderCreationError::couldNotCheckFolder(Platform::FileSystemError::fromErrno(EIO, "/y"));
    EXPECT_EQ(denied, other);
    EXPECT_FALSE(denied == notEmpty);
    EXPECT_EQ(denied.alertStyle(), AlertStyle::critical);
    EXPECT_EQ(other.reason(), "Unerwarteter Fehler");
    EXPECT_NE(denied.reason(), "Unerwarteter Fehler");
    EXPECT_EQ(denied.alertMessageText(), "Der Ordner „/x“ konnte nicht gelesen werden.");
}

TEST(AccountPreferencesViewModelTests, userLabelAndButton)
{
    TemporaryDirectory root;
    AccountFixture fixture(root);
    auto model = fixture.make();
    EXPECT_EQ(model->usernameText().value(), "Nicht angemeldet");
    EXPECT_EQ(model->loginButtonText().value(), "Anmelden");
    model->loginAction().apply({}).start();
    EXPECT_EQ(fixture.loginWindowShown, 0);
    model->loginAction().apply(std::any(1)).start();
    EXPECT_EQ(fixture.loginWindowShown, 1);
    fixture.loggedIn.set(true);
    EXPECT_EQ(model->usernameText().value(), "Angemeldet als unbekannter Nutzer");
    EXPECT_EQ(model->loginButtonText().value(), "Abmelden");
    // The customer data arrives a moment after the login: the pane shows the name at once.
    fixture.customerEmail.set("anna@example.org");
    EXPECT_EQ(model->usernameText().value(), "Angemeldet als anna@example.org");
    model->loginAction().apply(std::any(1)).start();
    EXPECT_EQ(fixture.logouts, 1);
    auto fresh = fixture.make();
    EXPECT_EQ(fresh->usernameText().value(), "Angemeldet als anna@example.org");
}

// Inside, containing, the home folder, "/" and the same folder written
// differently are never taken; a sibling with a common prefix is.
TEST(AccountPreferencesViewModelTests, recursionAndEqualityAfterNormalisation)
{
    TemporaryDirectory root;
    AccountFixture fixture(root);
    auto model = fixture.make();
    std::vector<Kind> refusals;
    std::vector<std::string> reasons;
    model->errors().observeValues([&](const CloudFolderCreationError& error) {
        refusals.push_back(error.kind());
        reasons.push_back(error.reason());
    });
    std::filesystem::create_directories(root / "home/Cloud/Sub");
    std::filesystem::create_directory_symlink(root / "home/Cloud", root / "link");
    const auto setting = fixture.cloudFolder.value();

    for (const auto& same : { root / "home/Cloud", root / "home/Cloud/", root / "home/./Cloud/Sub/..", root / "link" }) {
        model->setCurrentCloudFolderURL(Platform::URL::fileURL(same));
    }
    EXPECT_TRUE(refusals.empty());
    EXPECT_EQ(fixture.cloudFolder.value(), setting);

    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "home/Cloud/Sub", Platform::URL::IsDirectory::Yes));
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "link/Sub"));
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "home"));
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root.path()));
    model->setCurrentCloudFolderURL(Platform::URL::fileURL("/"));
    EXPECT_EQ(refusals, std::vector<Kind>(5, Kind::folderRecursion));
    // Each refusal names its own reason: inside (twice), the home folder, a folder around it, "/".
    EXPECT_EQ(reasons, (std::vector<std::string> { "Der neue Cloud-Ordner darf nicht innerhalb des alten Cloud-Ordners liegen.",
                           "Der neue Cloud-Ordner darf nicht innerhalb des alten Cloud-Ordners liegen.",
                           "Der neue Cloud-Ordner darf nicht Ihr persönlicher Ordner sein.",
                           "Der neue Cloud-Ordner darf den alten Cloud-Ordner nicht enthalten.",
                           "Der neue Cloud-Ordner darf nicht der oberste Ordner „/“ sein." }));
    EXPECT_EQ(fixture.cloudFolder.value(), setting);

    std::filesystem::create_directories(root / "home/CloudOther");
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "home/CloudOther/"));
    EXPECT_EQ(refusals.size(), 5u);
    EXPECT_EQ(fixture.cloudFolder.value().path(), root / "home/CloudOther/");
}

// A hidden file makes a folder not empty; emptying it trashes its top-level
// entries, then the folder becomes the cloud folder.
TEST(AccountPreferencesViewModelTests, notEmptyThenTrashedThenTaken)
{
    TemporaryDirectory root;
    AccountFixture fixture(root);
    auto model = fixture.make();
    std::vector<Kind> refusals;
    model->errors().observeValues([&](const CloudFolderCreationError& error) { refusals.push_back(error.kind()); });
    std::filesystem::create_directories(root / "Neu/Tief/Tiefer");
    Platform::Testing::writeFile(root / "Neu/.versteckt", "x");
    Platform::Testing::writeFile(root / "Neu/Tief/Tiefer/a.txt", "a");
    const auto chosen = Platform::URL::fileURL(root / "Neu");

    model->setCurrentCloudFolderURL(chosen);
    model->setCurrentCloudFolderURL(chosen);
    EXPECT_EQ(refusals, std::vector<Kind>(2, Kind::folderNotEmpty));
    model->deleteContentOfChosenFolder();
    EXPECT_EQ(refusals.size(), 2u);
    EXPECT_EQ(fixture.cloudFolder.value().path(), root / "Neu/");
    EXPECT_TRUE(std::filesystem::is_empty(root / "Neu"));
    EXPECT_TRUE(std::filesystem::exists(root / "data/Trash/files/.versteckt"));
    EXPECT_TRUE(std::filesystem::exists(root / "data/Trash/files/Tief/Tiefer/a.txt"));
    EXPECT_EQ(fixture.fileManager->trashed.size(), 2u);
}

TEST(AccountPreferencesViewModelTests, listingAndTrashFailures)
{
    TemporaryDirectory root;
    AccountFixture fixture(root);
    auto model = fixture.make();
    std::vector<CloudFolderCreationError> refusals;
    model->errors().observeValues([&](const CloudFolderCreationError& error) { refusals.push_back(error); });
    std::filesystem::create_directories(root / "Gesperrt");
    fixture.fileManager->failListing = Platform::FileSystemError::fromErrno(EACCES, root / "Gesperrt");
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "Gesperrt"));
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].kind(), Kind::couldNotCheckFolder);
    EXPECT_EQ(refusals[0].alertStyle(), AlertStyle::critical);
    fixture.fileManager->failListing.reset();

    std::filesystem::create_directories(root / "Voll");
    Platform::Testing::writeFile(root / "Voll/bleibt.txt", "x");
    Platform::Testing::writeFile(root / "Voll/geht.txt", "y");
    fixture.fileManager->failTrash = root / "Voll/bleibt.txt";
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "Voll"));
    model->deleteContentOfChosenFolder();
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_EQ(refusals[2].kind(), Kind::folderNotEmpty);
    EXPECT_TRUE(std::filesystem::exists(root / "Voll/bleibt.txt"));
    EXPECT_FALSE(std::filesystem::exists(root / "Voll/geht.txt"));
    EXPECT_EQ(fixture.cloudFolder.value().path(), root / "home/Cloud/");
}

// Emptying is never offered for a refused recursion: asking anyway trashes nothing.
TEST(AccountPreferencesViewModelTests, emptyingARecursionTrashesNothing)
{
    TemporaryDirectory root;
    AccountFixture fixture(root);
    auto model = fixture.make();
    Platform::Testing::writeFile(root / "home/wichtig.txt", "x");
    model->setCurrentCloudFolderURL(Platform::URL::fileURL(root / "home"));
    model->deleteContentOfChosenFolder();
    EXPECT_TRUE(std::filesystem::exists(root / "home/wichtig.txt"));
    EXPECT_TRUE(fixture.fileManager->trashed.empty());
}
