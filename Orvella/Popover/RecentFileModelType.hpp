#pragma once

#include "Orvella/Popover/RecentFileCellModel.hpp"

#include <string>
#include <utility>
#include <variant>

namespace Orvella {

// One entry of the popover's list: a file row or a section row with a title.
class RecentFileModelType {
public:
    [[nodiscard]] static RecentFileModelType file(RecentFileCellModel model) { return RecentFileModelType(std::move(model)); }
    [[nodiscard]] static RecentFileModelType section(std::string title) { return RecentFileModelType(Section { std::move(title) }); }

    // The file row's model; null for a section.
    [[nodiscard]] const RecentFileCellModel* fileModel() const { return std::get_if<RecentFileCellModel>(&m_entry); }
    // The section's title; null for a file row.
    [[nodiscard]] const std::string* sectionTitle() const
    {
        auto section = std::get_if<Section>(&m_entry);
        return section ? &section->title : nullptr;
    }

private:
    struct Section {
        std::string title;
    };

    explicit RecentFileModelType(std::variant<RecentFileCellModel, Section> entry) : m_entry(std::move(entry)) {}

    std::variant<RecentFileCellModel, Section> m_entry;
};

} // namespace Orvella
