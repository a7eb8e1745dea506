#pragma once

// Quarlink/Reports: the records of failed requests, posted for the application,
// and the error reports made from them for the service's error log.

#include "Quarlink/Envelope/RequestErrorInfo.hpp"
#include "Quarlink/Reports/ReportConfiguration.hpp"
#include "Reactive/BindingTarget.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>

namespace Quarlink {

class APIClient;

// Sends `info` to the service's error log as one `APIErrorReportRequest`: for
// the account of the e-mail address in the client's credential store (read at
// this call), or as a public report when none is stored. Lazy: each start
// sends one request. Its failure reaches only the subscriber: a failed report
// is not recorded as a failed request, so it never causes another report.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> report(const std::shared_ptr<APIClient>& client,
    const RequestErrorInfo& info, const ReportConfiguration& configuration = ReportConfiguration());

// Where the application binds the client's failure records
// (`bind(reports(client), errorInfos(client.get()))`): every record bound into
// it is moved to `scheduler` (by default the UI scheduler, made at this call)
// and sent there with `report` and `configuration`, started at once, its
// outcome ignored; a report cannot be cancelled. The target lasts as long as
// the client and does not keep it alive: the binding ends when the client is
// destroyed, and a record that arrives after that does nothing.
[[nodiscard]] Reactive::BindingTarget<RequestErrorInfo> reports(const std::shared_ptr<APIClient>& client,
    const ReportConfiguration& configuration = ReportConfiguration(), Reactive::SchedulerPtr scheduler = nullptr);

} // namespace Quarlink
