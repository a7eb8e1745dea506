#include "Sync/Watch/CloudFolderWatcher.hpp"

namespace Sync {

CloudFolderWatcher::CloudFolderWatcher(std::shared_ptr<CloudFolderProvider> cloudFolderProvider,
    QVFileSystemEventsWatcher::Options options)
    : m_cloudFolderProvider(std::move(cloudFolderProvider))
    , m_options(std::move(options))
{
}

Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> CloudFolderWatcher::cloudFolderChanged() const
{
    auto options = m_options;
    return m_cloudFolderProvider->currentCloudFolder()
        .producer()
        .flatMap(Reactive::FlattenStrategy::latest,
            [options](const Platform::URL& folder) { return QVFileSystemEventsWatcher::eventProducer(folder, options); })
        .ignoreValues();
}

} // namespace Sync
