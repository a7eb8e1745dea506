#pragma once

#include "Orvella/Debug/DebugViewModel.hpp"

#include <QAbstractListModel>
#include <QDialog>
#include <QPointer>

#include <memory>

class QComboBox;
class QLabel;
class QListView;

namespace Orvella {

// The event log as a list model over the data source; `reload()` takes
// the data source's current lines.
class SyncEventListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit SyncEventListModel(std::shared_ptr<SyncEventDataSource> dataSource, QObject* parent = nullptr);
    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    void reload();

private:
    std::shared_ptr<SyncEventDataSource> m_dataSource;
    std::vector<std::string> m_lines;
};

// The debug pane, a window-modal dialog over the preferences window: the
// version, the environment choice and the sync events since the view model
// was made. The development-only part is removed whenever the pane loads.
// The list reloads on the UI thread after every new line.
class DebugViewController final : public QDialog {
    Q_OBJECT

public:
    explicit DebugViewController(std::shared_ptr<DebugViewModel> viewModel, QWidget* parent = nullptr);

    [[nodiscard]] QWidget* debugOnlyView() const { return m_debugOnlyView; }
    [[nodiscard]] QListView* syncEventTableView() const { return m_syncEventTableView; }
    [[nodiscard]] QComboBox* apiPopUpButton() const { return m_apiPopUpButton; }
    [[nodiscard]] QLabel* appVersionLabel() const { return m_appVersionLabel; }
    [[nodiscard]] const std::shared_ptr<DebugViewModel>& viewModel() const { return m_viewModel; }

private:
    std::shared_ptr<DebugViewModel> m_viewModel;
    QPointer<QWidget> m_debugOnlyView;
    QListView* m_syncEventTableView = nullptr;
    QComboBox* m_apiPopUpButton = nullptr;
    QLabel* m_appVersionLabel = nullptr;
    SyncEventListModel* m_listModel = nullptr;
};

} // namespace Orvella
