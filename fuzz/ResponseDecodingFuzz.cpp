// The client's decoding of what the service answers (file and share
// listings, customer data, images) under random and mutated bodies: any
// input is decoded or refused with an error, never more.
#include "FuzzDriver.hpp"

#include "Quarlink/Account/CustomerInfo.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"
#include "Quarlink/Shares/Share.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

int main(int argc, char** argv)
{
    std::vector<std::string> dictionary { "{", "}", "[", "]", "\"", ",", ":", "\"data\"", "\"meta\"", "\"quota\"", "\"id\"",
        "\"fileId\"", "\"parentId\"", "\"path\"", "\"name\"", "\"mime\"", "\"size\"", "\"etag\"", "\"hash\"", "\"created\"",
        "\"modified\"", "\"shares\"", "\"type\"", "\"cid\"", "\"httpd/unix-directory\"", "\x89PNG\r\n\x1A\n", "IHDR" };
    auto url = *Platform::URL::create("http://127.0.0.1/v2.0/files");
    return Fuzz::run(argc, argv, std::move(dictionary), [&](std::string_view input) {
        Quarlink::DataResponse response { Platform::Data::fromString(std::string(input)), Quarlink::HTTPURLResponse(url, 200, {}) };
        (void)Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::File>>>(response);
        (void)Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::Share>>>(response);
        (void)Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::PrivateShare>>>(response);
        (void)Quarlink::parseData<Quarlink::CustomerInfo>(response);
        (void)Quarlink::parseImage(response.data);
    });
}
