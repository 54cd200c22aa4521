// ELangError: the one kind of failure the localization package reports.
// Everything else in Tessor reports failure by a return value; the language
// manager, the language files and the controller throw this instead.
#pragma once

#include <stdexcept>
#include <string>

namespace tessor::lang {

class ELangError : public std::runtime_error {
public:
    explicit ELangError(const std::string& message) : std::runtime_error(message) {}
};

// The message texts, with their printf-style placeholders.
inline constexpr const char* kConstantNotFound = "Constant \"%s\" not found";
inline constexpr const char* kStreamVersion =
    "Stream version (%d) is greater than the current one (%d)";
inline constexpr const char* kLoadingFailed = "Loading translations failed.\r\nLine %d: %s";
inline constexpr const char* kInvalidConstantName = "Invalid constant name (\"%s\")";
inline constexpr const char* kDuplicateConstantName = "Duplicate constant name (\"%s\")";
inline constexpr const char* kDuplicatePropertyId = "Duplicate property value translation ID (%d)";
inline constexpr const char* kStreamReadError = "Stream read error";

// printf-style formatting of one of the texts above.
std::string FormatLangMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessor::lang
