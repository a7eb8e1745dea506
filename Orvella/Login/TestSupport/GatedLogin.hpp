#pragma once

#include "Orvella/Login/LoginViewModel.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"

#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/Error.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvella::Testing {

// A login operation held open until the test lets it succeed or fail; it
// records every set of credentials it was started with.
class GatedLogin {
public:
    std::vector<Quarlink::Credentials> sent;

    GatedLogin() = default;
    GatedLogin(const GatedLogin&) = delete;
    GatedLogin& operator=(const GatedLogin&) = delete;
    // A login still held ends, so that the action's run does not outlive the test.
    ~GatedLogin()
    {
        if (auto observer = std::exchange(m_pending, std::nullopt)) {
            observer->sendCompleted();
        }
    }

    LoginOperation operation()
    {
        return [this](const Quarlink::Credentials& credentials) {
            sent.push_back(credentials);
            return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>(
                [this](Reactive::Observer<Reactive::Unit, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
                    m_pending = observer;
                    lifetime += Reactive::AnyDisposable([this] { m_pending.reset(); });
                });
        };
    }

    [[nodiscard]] bool isHeld() const { return m_pending.has_value(); }

    void succeed()
    {
        auto observer = std::exchange(m_pending, std::nullopt);
        observer->send(Reactive::Unit {});
        observer->sendCompleted();
    }

    void fail(const Reactive::AnyError& error)
    {
        auto observer = std::exchange(m_pending, std::nullopt);
        observer->sendFailed(error);
    }

private:
    std::optional<Reactive::Observer<Reactive::Unit, Reactive::AnyError>> m_pending;
};

// A presentable error with the given reason.
struct ReasonError final : Reactive::Error, Quarlink::PresentableError {
    std::string text;
    explicit ReasonError(std::string text) : text(std::move(text)) {}
    [[nodiscard]] std::string subject() const override { return "Anmeldung fehlgeschlagen"; }
    [[nodiscard]] std::string reason() const override { return text; }
    [[nodiscard]] std::string description() const override { return text; }
};

struct CountingTracking final : TrackingManager {
    int logins = 0;
    void trackAppStart() override {}
    void trackLogin() override { ++logins; }
    void trackDatabaseLost() override {}
};

} // namespace Orvella::Testing
