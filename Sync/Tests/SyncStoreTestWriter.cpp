// Writes through the stores from a separate process, for the tests that
// observe the database across processes.
//
//   SyncStoreTestWriter <database file> <cloud folder> <remote id> <path>
//       stores a record for the file and marks it syncing, in two commits.

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Reactive/Schedulers/ImmediateScheduler.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"
#include "TestFiles.hpp"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "usage: SyncStoreTestWriter <database file> <cloud folder> <remote id> <path>\n";
        return 1;
    }
    auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration(argv[1]));
    auto scheduler = Reactive::ImmediateScheduler::shared();
    Sync::RealmFileStore fileStore(factory, scheduler);
    Sync::RealmFileSyncStatusStore statusStore(factory, scheduler);
    auto file = Sync::Testing::makeFile(std::strtoll(argv[3], nullptr, 10), argv[4], 0);
    fileStore.add(*file);
    statusStore.mark(*file, Sync::FileSyncStatus::syncing,
        Platform::URL::fileURL(argv[2], Platform::URL::IsDirectory::Yes));
    return 0;
}
