#include "Orvella/UI/Preferences/AccountPreferencesViewController.hpp"

#include "Orvella/UI/Login/LoginFormBindings.hpp"
#include "Orvella/UI/Views/PlainText.hpp"

#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace Orvella {

std::vector<std::pair<QString, QString>> breadcrumbFolders(const QString& path)
{
    std::vector<std::pair<QString, QString>> folders { { QStringLiteral("/"), QStringLiteral("/") } };
    QString prefix;
    for (const auto& component : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + component;
        folders.emplace_back(component, prefix);
    }
    return folders;
}

AccountPreferencesViewController::AccountPreferencesViewController(
    std::shared_ptr<AccountPreferencesViewModel> viewModel, Seams seams, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_seams(std::move(seams))
    , m_pathControl(new QWidget(this))
    , m_pathLayout(new QHBoxLayout(m_pathControl))
    , m_usernameLabel(new QLabel(this))
    , m_loginButton(new QPushButton(this))
    , m_changeButton(new QPushButton(QStringLiteral("Ändern …"), this))
{
    setObjectName(QStringLiteral("AccountPreferencesViewController"));
    m_pathLayout->setContentsMargins(0, 0, 0, 0);
    m_pathLayout->setSpacing(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* form = new QFormLayout;
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_pathControl, 1);
    folderRow->addWidget(m_changeButton);
    form->addRow(QString::fromStdString(m_viewModel->appName()) + QStringLiteral(" Ordner:"), folderRow);
    auto* accountRow = new QHBoxLayout;
    accountRow->addWidget(m_usernameLabel, 1);
    accountRow->addWidget(m_loginButton);
    form->addRow(QStringLiteral("Konto:"), accountRow);
    layout->addLayout(form);
    layout->addStretch();

    // The account's name as the service knows it.
    showAsPlainText(m_usernameLabel);
    bindProperty(m_usernameLabel, m_viewModel->usernameText(),
        [](QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); });
    bindProperty(m_loginButton, m_viewModel->loginButtonText(),
        [](QPushButton* button, const std::string& text) { button->setText(QString::fromStdString(text)); });
    bindProperty(this, m_viewModel->cloudFolderURL(),
        [](AccountPreferencesViewController* controller, const Platform::URL& folder) { controller->showPath(folder); });
    bindActionButton(m_loginButton, m_viewModel->loginAction(), m_viewModel);
    connect(m_changeButton, &QPushButton::clicked, this, [this] { changeCloudFolder(); });

    // Shown after the view model's send has returned: answering the alert
    // may check the folder again and send the next refusal.
    QPointer<AccountPreferencesViewController> guarded(this);
    m_errors = Reactive::ScopedDisposable(m_viewModel->errors().observeValues([guarded](const CloudFolderCreationError& error) {
        if (!guarded) {
            return;
        }
        QMetaObject::invokeMethod(
            guarded.data(),
            [guarded, error] {
                if (guarded) {
                    guarded->showRefusal(error);
                }
            },
            Qt::QueuedConnection);
    }));
}

std::vector<QToolButton*> AccountPreferencesViewController::pathControlElements() const
{
    std::vector<QToolButton*> elements;
    for (int index = 0; index < m_pathLayout->count(); ++index) {
        if (auto* button = qobject_cast<QToolButton*>(m_pathLayout->itemAt(index)->widget())) {
            elements.push_back(button);
        }
    }
    return elements;
}

void AccountPreferencesViewController::showPath(const Platform::URL& folder)
{
    while (auto* item = m_pathLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const auto folders = breadcrumbFolders(QString::fromStdString(folder.path()));
    for (std::size_t index = 0; index < folders.size(); ++index) {
        if (index > 0) {
            m_pathLayout->addWidget(new QLabel(QStringLiteral("›"), m_pathControl));
        }
        auto* button = new QToolButton(m_pathControl);
        button->setText(folders[index].first);
        button->setAutoRaise(true);
        button->setToolTip(plainToolTip(folders[index].second));
        const auto url = Platform::URL::fileURL(folders[index].second.toStdString(), Platform::URL::IsDirectory::Yes);
        connect(button, &QToolButton::clicked, this, [workspace = m_seams.workspace, url] { workspace->open(url); });
        m_pathLayout->addWidget(button);
    }
    m_pathLayout->addStretch();
}

void AccountPreferencesViewController::changeCloudFolder()
{
    const QString title = QStringLiteral("Neuen ") + QString::fromStdString(m_viewModel->appName()) + QStringLiteral(" Ordner auswählen");
    auto chosen = m_seams.folderChooser->chooseFolder(window(), title, QStringLiteral("Auswählen"), QDir::homePath());
    if (chosen) {
        m_viewModel->setCurrentCloudFolderURL(Platform::URL::fileURL(QDir::cleanPath(*chosen).toStdString(), Platform::URL::IsDirectory::Yes));
    }
}

void AccountPreferencesViewController::showRefusal(const CloudFolderCreationError& error)
{
    const int answer = m_seams.alertPresenter->runModal(error.alert());
    if (answer == AlertPresenter::firstButton + 1 && error.kind() == CloudFolderCreationError::Kind::folderNotEmpty) {
        m_viewModel->deleteContentOfChosenFolder();
    }
}

} // namespace Orvella
