#include "support/Time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

const Timestamp november2023{1'700'000'000s};

TEST(Time, RFC3339ParsesZonesAndFractions) {
    struct Row {
        std::string text;
        Timestamp expected;
    };
    const std::vector<Row> rows{
        {"2023-11-14T22:13:20Z", november2023},
        {"2023-11-14T23:13:20+01:00", november2023},
        {"2023-11-14T16:43:20-05:30", november2023},
        {"2023-11-14T22:13:20.1234567Z", november2023 + 123'456'700ns},
        {"2023-11-14T22:13:20.123456789123Z", november2023 + 123'456'789ns},
        {"1969-12-31T23:59:59Z", Timestamp{-1s}},
        {"2024-02-29T00:00:00Z",
         Timestamp{std::chrono::sys_days{std::chrono::year{2024} / 2 / 29}}},
        {"1677-09-22T00:00:00Z",
         Timestamp{std::chrono::sys_days{std::chrono::year{1677} / 9 / 22}}},
        {"2262-04-10T23:59:59.999999999Z",
         Timestamp{std::chrono::sys_days{std::chrono::year{2262} / 4 / 10}} + 86'399s +
             999'999'999ns},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parseRFC3339(row.text, true), row.expected);
    }
}

TEST(Time, RFC3339Refusals) {
    const std::vector<std::string> refused{
        "2023-11-14T22:13:20",
        "2023-11-14t22:13:20Z",
        "2023-11-14T22:13Z",
        "2023-11-14T22:13:20.Z",
        "2023-11-14T22:13:20+0100",
        "2023-11-14T22:13:20+24:00",
        "2023-11-14T22:13:20Z ",
        "2023-13-14T22:13:20Z",
        "2023-02-29T22:13:20Z",
        "2023-11-14T24:00:00Z",
        // Outside the nanosecond clock's range.
        "1677-09-21T00:12:43Z",
        "2262-04-11T23:47:17Z",
    };
    for (const auto& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseRFC3339(text, true), std::nullopt);
    }
}

TEST(Time, ISO8601IsWholeSecondsOnly) {
    EXPECT_EQ(formatISO8601(november2023), "2023-11-14T22:13:20Z");
    EXPECT_EQ(formatISO8601(november2023 + 999ms), "2023-11-14T22:13:20Z");
    EXPECT_EQ(formatISO8601(Timestamp{-1ms}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(parseISO8601("2023-11-14T22:13:20Z"), november2023);
    EXPECT_EQ(parseISO8601("2023-11-14T22:13:20.000Z"), std::nullopt);
}

TEST(Time, MillisecondConversions) {
    struct Row {
        double milliseconds;
        Timestamp instant;
    };
    const std::vector<Row> rows{
        {0, Timestamp{}},
        {1'700'000'000'123.0, november2023 + 123ms},
        {1'700'000'000'123.5, november2023 + 123ms + 500us},
        {-1.5, Timestamp{-1'500us}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.milliseconds);
        EXPECT_EQ(fromMillisecondsSince1970(row.milliseconds), row.instant);
        EXPECT_EQ(millisecondsSince1970(row.instant), row.milliseconds);
    }
    for (double outside : {1e300, 9.3e12, -9.3e12, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(outside);
        EXPECT_EQ(fromMillisecondsSince1970(outside), std::nullopt);
    }
    EXPECT_DOUBLE_EQ(secondsSince1970(november2023 + 123ms), 1'700'000'000.123);
}

}  // namespace
}  // namespace loftwing
