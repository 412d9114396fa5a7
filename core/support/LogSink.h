#pragma once

#include <memory>
#include <string_view>

namespace loftwing {

enum class LogLevel { info, warning, error };

// Where the process writes what nobody sees in an answer or a window: failure kinds, codes and
// ids. Callers never pass a token, a code, an address or mail text.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, std::string_view category,
                       std::string_view message) noexcept = 0;
};

// The process-wide sink; none until the app sets one, and then messages are dropped. Thread-safe.
void setLogSink(std::shared_ptr<LogSink> sink);
void logMessage(LogLevel level, std::string_view category, std::string_view message) noexcept;

// The system log (journald reads it) under the ident "com.loftwing.multi", the category leading
// the message: `journalctl -t com.loftwing.multi`.
class SyslogSink final : public LogSink {
  public:
    static constexpr const char* ident = "com.loftwing.multi";

    SyslogSink();
    ~SyslogSink() override;
    SyslogSink(const SyslogSink&) = delete;
    SyslogSink& operator=(const SyslogSink&) = delete;
    void write(LogLevel level, std::string_view category,
               std::string_view message) noexcept override;
};

}  // namespace loftwing
