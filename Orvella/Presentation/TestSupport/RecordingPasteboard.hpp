#pragma once

#include "Orvella/Presentation/Pasteboard.hpp"

#include <string>
#include <vector>

namespace Orvella {

// Records every write as one line: "clear", "url <address>", "string <text>".
class RecordingPasteboard final : public Pasteboard {
public:
    std::vector<std::string> writes;

    void clearContents() override { writes.emplace_back("clear"); }
    void writeURL(const Platform::URL& url) override { writes.push_back("url " + url.absoluteString()); }
    void setString(const std::string& text) override { writes.push_back("string " + text); }
};

} // namespace Orvella
