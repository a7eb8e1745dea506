// The client's decoding of what the service answers (file and share
// listings, customer data, images) under mutated bodies: any input is decoded
// or refused with an error, never more. With -seeds_must_decode=1 (and
// -runs=0) every input must decode as one of them: the corpus, taken from the
// service's real answers, then reaches the success path of each decoder.
#include "Quarlink/Account/CustomerInfo.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"
#include "Quarlink/Shares/Share.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool seedsMustDecode = false;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int index = 1; index < *argc; ++index) {
        if (std::string_view((*argv)[index]) == "-seeds_must_decode=1")
            seedsMustDecode = true;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto url = *Platform::URL::create("http://127.0.0.1/v2.0/files");
    std::string input(reinterpret_cast<const char*>(data), size);
    Quarlink::DataResponse response { Platform::Data::fromString(input), Quarlink::HTTPURLResponse(url, 200, {}) };
    bool decoded = false;
    decoded |= Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::File>>>(response).has_value();
    decoded |= Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::Share>>>(response).has_value();
    decoded |= Quarlink::parseData<Quarlink::CloudMetaPackage<std::vector<Quarlink::PrivateShare>>>(response).has_value();
    decoded |= Quarlink::parseData<Quarlink::CustomerInfo>(response).has_value();
    decoded |= Quarlink::parseImage(response.data).has_value();
    // The engine always tries the empty input first; it is no seed.
    if (seedsMustDecode && !decoded && size > 0) {
        std::fprintf(stderr, "fuzz: a seed no decoder takes: %.200s\n", input.c_str());
        std::abort();
    }
    return 0;
}
