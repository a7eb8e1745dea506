#pragma once

#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Reactive/SignalProducer.hpp"

namespace Quarlink {

// Drops the envelope from a stream of envelopes: each value becomes its
// payload, one to one and in order; completion, interruption and the failure
// pass through unchanged. The metadata is dropped (the quota in it is announced
// separately). Starts nothing itself: starting the result starts `producer`.
template<MetaPackageType Package, class E>
[[nodiscard]] auto unpacked(const Reactive::SignalProducer<Package, E>& producer)
{
    return producer.map([](Package&& package) -> typename Package::Payload { return std::move(package).payload(); });
}

} // namespace Quarlink
