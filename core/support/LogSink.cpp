#include "support/LogSink.h"

#include <syslog.h>
#include <mutex>

namespace loftwing {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LogSink>& currentSink() {
    static std::shared_ptr<LogSink> sink;
    return sink;
}

int priority(LogLevel level) {
    switch (level) {
        case LogLevel::info:
            return LOG_INFO;
        case LogLevel::warning:
            return LOG_WARNING;
        case LogLevel::error:
            return LOG_ERR;
    }
    return LOG_ERR;
}

}  // namespace

void setLogSink(std::shared_ptr<LogSink> sink) {
    const std::lock_guard lock(sinkMutex());
    currentSink() = std::move(sink);
}

void logMessage(LogLevel level, std::string_view category, std::string_view message) noexcept {
    std::shared_ptr<LogSink> sink;
    {
        const std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink) {
        sink->write(level, category, message);
    }
}

SyslogSink::SyslogSink() {
    openlog(ident, LOG_PID, LOG_USER);
}

SyslogSink::~SyslogSink() {
    closelog();
}

void SyslogSink::write(LogLevel level, std::string_view category,
                       std::string_view message) noexcept {
    syslog(priority(level), "%.*s: %.*s", static_cast<int>(category.size()), category.data(),
           static_cast<int>(message.size()), message.data());
}

}  // namespace loftwing
