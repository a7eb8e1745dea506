#include "Quarlink/Account/AccountOperations.hpp"

#include "Quarlink/Account/CustomerImageDeleteRequest.hpp"
#include "Quarlink/Account/CustomerImageDownloadRequest.hpp"
#include "Quarlink/Account/CustomerImageUploadRequest.hpp"
#include "Quarlink/Account/CustomerRequest.hpp"
#include "Quarlink/Requests/Perform.hpp"

namespace Quarlink {

Reactive::SignalProducer<CustomerInfo, Reactive::AnyError> customerInfo(const std::shared_ptr<APIClient>& client)
{
    return perform(CustomerRequest(), client);
}

Reactive::SignalProducer<CustomerInfo, Reactive::AnyError> customerInfoOfNewSession(const std::shared_ptr<APIClient>& client)
{
    return perform(CustomerRequest { .renewsSession = false }, client);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> uploadCustomerImage(const std::shared_ptr<APIClient>& client,
    const Platform::URL& fileURL)
{
    return perform(CustomerImageUploadRequest(fileURL), client);
}

Reactive::SignalProducer<Platform::URL, Reactive::AnyError> downloadCustomerImage(const std::shared_ptr<APIClient>& client,
    std::optional<Platform::URL> destination)
{
    return perform(CustomerImageDownloadRequest { std::move(destination) }, client)
        .filterMap([](const ProgressEvent<Platform::URL>& event) { return event.downloadedValue(); });
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteCustomerImage(const std::shared_ptr<APIClient>& client)
{
    return perform(CustomerImageDeleteRequest(), client);
}

} // namespace Quarlink
