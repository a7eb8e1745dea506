#include "Orvella/UI/Debug/DebugViewController.hpp"

#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"
#include "Orvella/UI/Presentation/Bindings.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvella {

SyncEventListModel::SyncEventListModel(std::shared_ptr<SyncEventDataSource> dataSource, QObject* parent)
    : QAbstractListModel(parent)
    , m_dataSource(std::move(dataSource))
{
}

int SyncEventListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant SyncEventListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || index.row() < 0 || static_cast<std::size_t>(index.row()) >= m_lines.size()) {
        return {};
    }
    return QString::fromStdString(m_lines[static_cast<std::size_t>(index.row())]);
}

void SyncEventListModel::reload()
{
    beginResetModel();
    m_lines = m_dataSource->items().value();
    endResetModel();
}

DebugViewController::DebugViewController(std::shared_ptr<DebugViewModel> viewModel, QWidget* parent)
    : QDialog(parent)
    , m_viewModel(std::move(viewModel))
{
    setObjectName(QStringLiteral("DebugViewController"));
    setWindowTitle(QStringLiteral("Debug"));
    setWindowModality(Qt::WindowModal);
    resize(520, 380);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_appVersionLabel = new QLabel(this);
    m_apiPopUpButton = new QComboBox(this);
    form->addRow(QStringLiteral("Version:"), m_appVersionLabel);
    form->addRow(QStringLiteral("Umgebung:"), m_apiPopUpButton);
    layout->addLayout(form);
    m_debugOnlyView = new QLabel(QStringLiteral("Entwicklung"), this);
    layout->addWidget(m_debugOnlyView);
    layout->addWidget(new QLabel(QStringLiteral("Synchronisationsereignisse:"), this));
    m_syncEventTableView = new QListView(this);
    m_syncEventTableView->setUniformItemSizes(true);
    layout->addWidget(m_syncEventTableView, 1);
    auto* buttons = new QDialogButtonBox(this);
    auto* close = buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::AcceptRole);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons);

    // The development-only part is never shown.
    delete m_debugOnlyView.data();
    m_appVersionLabel->setText(QString::fromStdString(InfoPlistTools::versionString()));
    m_apiPopUpButton->clear();
    for (const auto& environment : DebugViewModel::availableEnvironments()) {
        m_apiPopUpButton->addItem(QString::fromStdString(environmentDescription(environment)));
    }
    m_apiPopUpButton->setCurrentIndex(m_viewModel->selectedAPIEnvironmentIndex().value());
    bindSignal(m_viewModel->selectedAPIEnvironmentIndex(), m_apiPopUpButton, &QComboBox::activated, [](int index) { return index; });
    m_listModel = new SyncEventListModel(m_viewModel->syncEventDataSource(), this);
    m_syncEventTableView->setModel(m_listModel);
    bindProperty(m_listModel, Reactive::Property<std::vector<std::string>>(m_viewModel->syncEventDataSource()->items()),
        [](SyncEventListModel* model, const std::vector<std::string>&) { model->reload(); });
}

} // namespace Orvella
