#pragma once

#include "Sync/TestSupport/TestCloud.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Sync::Testing {

// The descriptions of the changes of the events of one kind, in order.
std::vector<std::string> changesWith(const TestCloud::RunResult& run, SyncEvent::Kind kind);
// Every error event's change and failure, one text each.
std::vector<std::string> errorsOf(const TestCloud::RunResult& run);

// A listing entry the server double sends beside its tree (see
// InMemorySyncServer::addListingEntry): a folder when `path` ends with "/"
// (its name without that "/"), else a file with the SHA-1 of `content`.
std::shared_ptr<RemoteFile> listingEntry(std::int64_t id, std::int64_t parentID, std::string path,
    const std::string& content = "");

// Disk, server and stored state hold the same paths, the disk and the server
// the same contents, and every item reads up to date.
void expectInStep(const TestCloud& cloud);
// A second run right away sends no events and changes nothing on the server.
void expectIdle(TestCloud& cloud);

} // namespace Sync::Testing
