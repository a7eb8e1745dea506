#pragma once

#include "Orvella/Preferences/AccountPreferencesViewModel.hpp"
#include "Orvella/Presentation/AlertPresenter.hpp"
#include "Orvella/Presentation/Workspace.hpp"
#include "Orvella/UI/Preferences/FolderChooser.hpp"

#include "Reactive/Disposables/ScopedDisposable.hpp"

#include <QWidget>

#include <memory>
#include <vector>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace Orvella {

// The account pane: the cloud folder as a path of flat buttons (a click
// opens that folder), who is logged in, the log-in-or-out button, and the
// choice of another cloud folder. Refusals are shown as alerts; "Ordnerinhalt
// löschen" empties the chosen folder into the Trash and tries again.
class AccountPreferencesViewController final : public QWidget {
    Q_OBJECT

public:
    struct Seams {
        std::shared_ptr<Workspace> workspace;
        std::shared_ptr<FolderChooser> folderChooser;
        std::shared_ptr<AlertPresenter> alertPresenter;
    };

    AccountPreferencesViewController(std::shared_ptr<AccountPreferencesViewModel> viewModel, Seams seams, QWidget* parent = nullptr);

    // The folder choice, as the change button runs it.
    void changeCloudFolder();

    [[nodiscard]] QWidget* pathControl() const { return m_pathControl; }
    [[nodiscard]] std::vector<QToolButton*> pathControlElements() const;
    [[nodiscard]] QLabel* usernameLabel() const { return m_usernameLabel; }
    [[nodiscard]] QPushButton* loginButton() const { return m_loginButton; }
    [[nodiscard]] QPushButton* changeButton() const { return m_changeButton; }

private:
    void showPath(const Platform::URL& folder);
    void showRefusal(const CloudFolderCreationError& error);

    std::shared_ptr<AccountPreferencesViewModel> m_viewModel;
    Seams m_seams;
    QWidget* m_pathControl;
    QHBoxLayout* m_pathLayout;
    QLabel* m_usernameLabel;
    QPushButton* m_loginButton;
    QPushButton* m_changeButton;
    Reactive::ScopedDisposable m_errors;
};

// The folders of a breadcrumb for `path`: "/" first, then each folder on the
// way down, as (title, absolute path).
[[nodiscard]] std::vector<std::pair<QString, QString>> breadcrumbFolders(const QString& path);

} // namespace Orvella
