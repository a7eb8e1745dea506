#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Model/File.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace Sync {

// An upload of local content over a server file that another client changed
// since the stored record: the server's version is kept beside the local file
// before the upload replaces it.
struct ServerEdit {
    // The update as the local phase computed it (the local file and its path).
    Change update;
    // The server's file as the listing holds it now.
    FileRef server;
};

// Whether `change` uploads new content for a known server file, which
// serverEditsBefore checks; whether `changes` holds one.
[[nodiscard]] bool isContentUpdate(const Change& change);
[[nodiscard]] bool holdsContentUpdate(const std::vector<Change>& changes);

// The content updates of `changes` whose server file, in `listing`, is a file
// with content that is neither the stored record's (`stored`) nor the local
// one: what the upload would overwrite that nobody here has seen. Linear in
// the three sizes.
[[nodiscard]] std::vector<ServerEdit> serverEditsBefore(const std::vector<Change>& changes,
    const std::vector<FileRef>& listing, const std::vector<FileRef>& stored);

// The name under which the other version of `fileName` is kept:
// "Bericht (Konflikt 2026-12-10 10.42).txt" for "Bericht.txt" at that local
// time, with " (2)", " (3)" … before the extension for a later `number`. The
// extension is what follows the last dot of the name unless the dot leads
// the name (".profile") or nothing follows it; the stem is shortened (never
// inside a character) so that the name fits in 255 bytes.
[[nodiscard]] std::string conflictName(std::string_view fileName, Platform::Date when, int number = 1);

// Whether `candidate` is a name conflictName made for `fileName` (any time, any number).
[[nodiscard]] bool isConflictNameOf(std::string_view candidate, std::string_view fileName);

} // namespace Sync
