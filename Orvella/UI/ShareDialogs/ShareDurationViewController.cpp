#include "Orvella/UI/ShareDialogs/ShareDurationViewController.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace Orvella {

ShareDurationViewController::ShareDurationViewController(ShareDurationViewModel viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_durationMatrix(new QButtonGroup(this))
    , m_createButton(new QPushButton(QStringLiteral("Link erstellen"), this))
{
    setObjectName(QStringLiteral("ShareDurationViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Wie lange soll der Link gültig sein?"), this));
    const std::pair<int, const char*> choices[] = { { 7, "7 Tage" }, { 14, "14 Tage" }, { 30, "30 Tage" }, { 0, "Unbegrenzt" } };
    for (const auto& [tag, title] : choices) {
        auto* cell = new QRadioButton(QString::fromUtf8(title), this);
        m_durationMatrix->addButton(cell, tag);
        layout->addWidget(cell);
    }
    m_durationMatrix->setExclusive(true);
    if (auto* selected = m_durationMatrix->button(m_viewModel.durationInDays())) {
        selected->setChecked(true);
    }
    layout->addWidget(m_createButton, 0, Qt::AlignRight);
    m_createButton->setDefault(true);

    connect(m_durationMatrix, &QButtonGroup::idClicked, this, [this](int tag) { changeDuration(tag); });
    connect(m_createButton, &QPushButton::clicked, this, [this] { createLink(); });
}

void ShareDurationViewController::changeDuration(int selectedTag)
{
    m_viewModel.setDurationInDays(selectedTag);
}

void ShareDurationViewController::createLink()
{
    m_viewModel.createShare();
    window()->close();
}

} // namespace Orvella
