#pragma once

namespace Quarlink::ErrorTexts {

// Headline of service and transport errors (with the period).
inline constexpr const char* callFailedWithPeriod = "Aufruf fehlgeschlagen.";
// Headline of the client's own errors (without the period).
inline constexpr const char* callFailedWithoutPeriod = "Aufruf fehlgeschlagen";
// Reason of service errors without a case of their own (without the period).
inline constexpr const char* actionFailedWithoutPeriod = "Die Aktion konnte nicht durchgeführt werden";
// Reason of unknown transport failures and of errors that cannot present themselves (with the period).
inline constexpr const char* actionFailedWithPeriod = "Die Aktion konnte nicht durchgeführt werden.";

} // namespace Quarlink::ErrorTexts
