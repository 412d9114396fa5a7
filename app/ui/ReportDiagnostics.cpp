#include "ui/ReportDiagnostics.h"

#include "bundle/AppBundle.h"
#include "support/LogSink.h"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <sys/utsname.h>

namespace zevirudi {
namespace {

std::optional<std::string> fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A shell-style value: either bare, or in double or single quotes, where a backslash in double
// quotes keeps the next character.
std::string unquoted(std::string_view value) {
    if (value.size() < 2 || (value.front() != '"' && value.front() != '\'') ||
        value.back() != value.front()) {
        return std::string(value);
    }
    const char quote = value.front();
    value = value.substr(1, value.size() - 2);
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) {
            ++i;
        }
        text += value[i];
    }
    return text;
}

}  // namespace

std::string appVersionText(const std::filesystem::path& infoFile) {
    const std::string development = "Development build";
    const auto text = fileText(infoFile);
    if (!text) {
        return development;
    }
    boost::system::error_code error;
    const boost::json::value info = boost::json::parse(*text, error);
    if (error || !info.is_object()) {
        loftwing::logMessage(loftwing::LogLevel::warning, "report",
                             "Info.json is not a JSON object; the version reads as a development "
                             "build");
        return development;
    }
    const auto* shortVersion = info.as_object().if_contains("CFBundleShortVersionString");
    if (shortVersion == nullptr || !shortVersion->is_string()) {
        return development;
    }
    std::string version(shortVersion->as_string());
    const auto* build = info.as_object().if_contains("CFBundleVersion");
    if (build != nullptr && build->is_string()) {
        version += " (" + std::string(build->as_string()) + ")";
    }
    return version;
}

std::string bundledAppVersionText() {
    try {
        return appVersionText(resourceDirectory() / "Info.json");
    } catch (const std::filesystem::filesystem_error&) {
        loftwing::logMessage(loftwing::LogLevel::warning, "report",
                             "Executable path unreadable; the version reads as a development "
                             "build");
        return appVersionText({});
    }
}

std::string prettyNameFromOSRelease(std::string_view osRelease) {
    std::string prettyName = "Linux";
    std::istringstream lines{std::string(osRelease)};
    constexpr std::string_view key = "PRETTY_NAME=";
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(key)) {
            prettyName = unquoted(std::string_view(line).substr(key.size()));
        }
    }
    return prettyName;
}

std::string operatingSystemVersionText() {
    auto osRelease = fileText("/etc/os-release");
    if (!osRelease) {
        osRelease = fileText("/usr/lib/os-release");
    }
    std::string text = prettyNameFromOSRelease(osRelease.value_or(""));
    utsname system{};
    if (uname(&system) == 0) {
        text += ' ';
        text += system.release;
    }
    return text;
}

}  // namespace zevirudi
