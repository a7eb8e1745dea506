#include "Quarlink/Account/CustomerImageUploadRequest.hpp"

#include "Quarlink/Files/URLContentProperties.hpp"

namespace Quarlink {

CustomerImageUploadRequest::CustomerImageUploadRequest(Platform::URL fileURL)
    : m_fileURL(std::move(fileURL))
    , m_contentType(contentTypeOrDefault(m_fileURL))
{
}

} // namespace Quarlink
