#include "mail/GmailMailboxClient.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/ThrownError.h"
#include "mail/MailboxClientTestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using namespace loftwing::test;

const std::string listURL =
    "https://gmail.googleapis.com/gmail/v1/users/me/messages?q=after:1&maxResults=20";
const Timestamp since = Timestamp{} + 1900ms;

StoredAccount gmailAccount() {
    return storedAccount("g1", MailProvider::google, "ana@gmail.com", farFuture);
}

bool isList(const HTTPRequest& request) {
    return request.url.find("/messages?") != std::string::npos;
}

std::string messageID(const HTTPRequest& request) {
    const auto start = request.url.rfind('/') + 1;
    return request.url.substr(start, request.url.find('?') - start);
}

struct Harness {
    explicit Harness(ScriptedHTTPTransport::Handler handler,
                     std::string base = "https://gmail.googleapis.com")
        : transport(std::make_shared<ScriptedHTTPTransport>(std::move(handler))),
          client(transport, tokenManager(transport), sleep.function(), std::move(base)) {}

    std::vector<MailMessage> read(const std::unordered_set<std::string>& excluding = {},
                                  std::stop_token stop = {}) {
        return client.recentMessages(gmailAccount(), since, excluding, stop);
    }

    RecordingSleep sleep;
    std::shared_ptr<ScriptedHTTPTransport> transport;
    GmailMailboxClient client;
};

TEST(GmailMailboxClient, ListsPagesWithinTheLimits) {
    struct Row {
        const char* name;
        std::vector<std::string> pages;  // list bodies, the last one repeated
        std::unordered_set<std::string> excluding;
        int listRequests;
        std::vector<std::string> fetched;
    };
    const Row rows[] = {
        {"seen ids skipped, repeats kept",
         {R"({"messages": [{"id": "a1"}, {"id": "b2"}], "nextPageToken": "P1"})",
          R"({"messages": [{"id": "a1"}, {"id": "c3"}]})"},
         {"g1:b2"},
         2,
         {"a1", "a1", "c3"}},
        {"empty token ends the listing",
         {R"({"messages": [{"id": "a1"}], "nextPageToken": ""})"},
         {},
         1,
         {"a1"}},
        {"a token used before ends the listing",
         {R"({"nextPageToken": "P1"})", R"({"nextPageToken": "P2"})", R"({"nextPageToken": "P1"})"},
         {},
         3,
         {}},
        {"endless tokens stop after five pages",
         {R"({"nextPageToken": "P1"})", R"({"nextPageToken": "P2"})", R"({"nextPageToken": "P3"})",
          R"({"nextPageToken": "P4"})", R"({"nextPageToken": "P5"})", R"({"nextPageToken": "P6"})"},
         {},
         5,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t page = 0;
        Harness harness([&](const HTTPRequest& request, std::stop_token) {
            if (isList(request)) {
                return jsonResponse(200, row.pages[std::min(page++, row.pages.size() - 1)]);
            }
            return jsonResponse(200, gmailMessageJSON(messageID(request), "body"));
        });
        const auto messages = harness.read(row.excluding);
        std::vector<std::string> lists;
        std::multiset<std::string> fetched;
        for (const auto& request : harness.transport->requests()) {
            EXPECT_EQ(request.headers,
                      (HTTPHeaders{{"Authorization", "Bearer access-ana@gmail.com"},
                                   {"Accept", "application/json"}}));
            EXPECT_EQ(request.method, "GET");
            EXPECT_EQ(request.timeout, 60s);
            if (isList(request)) {
                lists.push_back(request.url);
            } else {
                fetched.insert(messageID(request));
                EXPECT_EQ(request.url, "https://gmail.googleapis.com/gmail/v1/users/me/messages/" +
                                           messageID(request) + "?format=full");
            }
        }
        ASSERT_EQ(lists.size(), static_cast<std::size_t>(row.listRequests));
        EXPECT_EQ(lists[0], listURL);
        for (std::size_t i = 1; i < lists.size(); ++i) {
            EXPECT_EQ(lists[i], listURL + "&pageToken=P" + std::to_string(i));
        }
        EXPECT_EQ(fetched, std::multiset<std::string>(row.fetched.begin(), row.fetched.end()));
        EXPECT_EQ(messages.size(), row.fetched.size());
    }
}

TEST(GmailMailboxClient, FetchesNineCandidatesInBatchesOfFourFourAndOne) {
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    int running = 0;
    int mostRunning = 0;
    bool batchesRespected = true;
    Harness harness([&](const HTTPRequest& request, std::stop_token) {
        if (isList(request)) {
            std::string list = R"({"messages": [)";
            for (int i = 0; i < 9; ++i) {
                list += std::string(i ? "," : "") + R"({"id": "m)" + std::to_string(i) + R"("})";
            }
            return jsonResponse(200, list + "]}");
        }
        const int index = std::stoi(messageID(request).substr(1));
        std::unique_lock lock(mutex);
        // A fetch of a later batch starts only when every fetch of the earlier ones finished.
        batchesRespected = batchesRespected && finished >= index / 4 * 4;
        ++started;
        ++running;
        mostRunning = std::max(mostRunning, running);
        changed.notify_all();
        // Wait until the whole batch is in flight, which only concurrent fetches reach.
        const int batchEnd = std::min(9, (index / 4 + 1) * 4);
        changed.wait_for(lock, 10s, [&] { return started >= batchEnd; });
        --running;
        ++finished;
        changed.notify_all();
        return jsonResponse(200,
                            gmailMessageJSON(messageID(request), "code " + std::to_string(index),
                                             std::to_string(1'800'000'000'000 - index)));
    });
    const auto messages = harness.read();
    EXPECT_TRUE(batchesRespected);
    EXPECT_EQ(mostRunning, 4);
    ASSERT_EQ(messages.size(), 9u);
    // Batches keep the listing order; within one, the completion order.
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const int index = std::stoi(messages[i].id.substr(4));
        EXPECT_EQ(static_cast<std::size_t>(index / 4), i / 4);
        EXPECT_EQ(messages[i].accountID, "g1");
        EXPECT_EQ(messages[i].id, "g1:m" + std::to_string(index));
    }
}

TEST(GmailMailboxClient, LeavesOutVanishedAndHostileMessages) {
    std::string deep = R"({"id": "deep", "payload": )";
    for (int i = 0; i < 3000; ++i) {
        deep += R"({"parts": [)";
    }
    deep += "{}";
    for (int i = 0; i < 3000; ++i) {
        deep += "]}";
    }
    deep += "}";
    Harness harness([&](const HTTPRequest& request, std::stop_token) {
        if (isList(request)) {
            return jsonResponse(200,
                                R"({"messages": [{"id": "gone"}, {"id": "deep"}, {"id": "ok"}, )"
                                R"({"id": "no_payload"}]})");
        }
        const auto id = messageID(request);
        if (id == "gone") {
            return jsonResponse(404, R"({"error": {"code": 404}})");
        }
        if (id == "deep") {
            return jsonResponse(200, deep);
        }
        if (id == "no_payload") {
            return jsonResponse(200, R"({"id": "no_payload"})");
        }
        return jsonResponse(200, gmailMessageJSON(id, "fine"));
    });
    const auto messages = harness.read();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, "g1:ok");
    EXPECT_EQ(messages[0].text, "fine");
}

TEST(GmailMailboxClient, RetriesOnlyWhatMaySucceedLater) {
    struct Row {
        const char* name;
        std::vector<HTTPResponse> answers;  // for the list request, in order
        std::optional<LoftwingMultiError> error;
        std::size_t requests;
    };
    auto forbidden = [](const char* reasons) {
        return jsonResponse(
            403, std::string(R"({"error": {"code": 403, "errors": [)") + reasons + "]}}");
    };
    const auto reason = [&](const std::string& name) {
        return forbidden((R"({"reason": ")" + name + R"("})").c_str());
    };
    const auto status = [](int code) { return jsonResponse(code, ""); };
    const auto httpStatus = LoftwingMultiError::httpStatus;
    const auto gmail = LoftwingMultiError::gmailFailure;
    using Reason = GmailFailureReason;
    const HTTPResponse ok = jsonResponse(200, "{}");
    // The last answer repeats for every later request.
    const Row rows[] = {
        {"429 every time", {status(429)}, httpStatus(429), 4},
        {"500, 502, 504, then 200", {status(500), status(502), status(504), ok}, std::nullopt, 4},
        {"unknown reason first, then a daily limit",
         {forbidden(R"({"reason": "somethingNew"}, {"reason": "dailyLimitExceeded"})")},
         gmail(Reason::dailyLimitExceeded),
         1},
        {"user rate limit is retried like 429",
         {reason("userRateLimitExceeded")},
         gmail(Reason::userRateLimitExceeded),
         4},
        {"reason text is matched exactly", {reason("RateLimitExceeded")}, httpStatus(403), 1},
        {"403 body that is not JSON",
         {jsonResponse(403, "<html>Forbidden</html>")},
         httpStatus(403),
         1},
        {"429 body with a Gmail reason is still retried by status",
         {jsonResponse(429, R"({"error": {"errors": [{"reason": "domainPolicy"}]}})"), ok},
         std::nullopt,
         2},
        {"401 is not refreshed or retried", {status(401)}, httpStatus(401), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t answer = 0;
        Harness harness([&](const HTTPRequest&, std::stop_token) {
            return row.answers[std::min(answer++, row.answers.size() - 1)];
        });
        if (row.error) {
            EXPECT_EQ(thrownError<LoftwingMultiError>([&] { harness.read(); }), *row.error);
        } else {
            EXPECT_NO_THROW(harness.read());
        }
        EXPECT_EQ(harness.transport->requests().size(), row.requests);
        const auto waits = harness.sleep.waits();
        const bool lastRetried = !row.error || row.requests == 4;
        ASSERT_EQ(waits.size(), lastRetried ? row.requests - 1 : 0u);
        for (std::size_t k = 0; k < waits.size(); ++k) {
            const auto base = std::chrono::milliseconds(1000 << k);
            EXPECT_GE(waits[k], base);
            EXPECT_LE(waits[k], base + 250ms);
        }
    }
}

TEST(GmailMailboxClient, OtherFailuresPassThroughUnretried) {
    Harness transportFailure([](const HTTPRequest&, std::stop_token) -> HTTPResponse {
        throw TransportError(-1009, "offline");
    });
    EXPECT_THROW(transportFailure.read(), TransportError);
    EXPECT_EQ(transportFailure.transport->requests().size(), 1u);

    Harness badList([](const HTTPRequest&, std::stop_token) {
        return jsonResponse(200, R"({"messages": [{"name": "no id"}]})");
    });
    EXPECT_THROW(badList.read(), JsonDecodingError);

    // A stop during the back-off ends the call with the cancellation.
    std::stop_source stop;
    Harness stopped([&](const HTTPRequest&, std::stop_token) {
        stop.request_stop();
        return jsonResponse(503, "");
    });
    EXPECT_THROW(stopped.read({}, stop.get_token()), OperationCancelled);
    EXPECT_EQ(stopped.transport->requests().size(), 1u);
}

TEST(GmailMailboxClient, AFailingFetchStopsItsBatchMates) {
    std::mutex mutex;
    std::condition_variable_any changed;
    int waiting = 0;
    int cancelled = 0;
    Harness harness([&](const HTTPRequest& request, std::stop_token stop) -> HTTPResponse {
        if (isList(request)) {
            return jsonResponse(
                200,
                R"({"messages": [{"id": "w1"}, {"id": "w2"}, {"id": "w3"}, {"id": "bad"}, {"id": "later"}]})");
        }
        std::unique_lock lock(mutex);
        if (messageID(request) == "bad") {
            // Fail once the three others are in flight, so that stopping them is observable.
            changed.wait_for(lock, 10s, [&] { return waiting == 3; });
            return jsonResponse(400, "");
        }
        ++waiting;
        changed.notify_all();
        if (changed.wait_for(lock, stop, 10s, [] { return false; }), stop.stop_requested()) {
            ++cancelled;
            throw OperationCancelled();
        }
        return jsonResponse(200, gmailMessageJSON(messageID(request), "x"));
    });
    EXPECT_EQ(thrownError<LoftwingMultiError>([&] { harness.read(); }),
              LoftwingMultiError::httpStatus(400));
    EXPECT_EQ(cancelled, 3);
    for (const auto& url : harness.transport->urls()) {
        EXPECT_EQ(url.find("later"), std::string::npos);  // no further batch starts
    }
}

// The list and every fetch are built alike from the configured base; an id that is no plain path
// segment (dot segments, which the HTTP stack would fold into the path before them, or a slash) is
// never fetched.
TEST(GmailAddresses, ListAndFetchShareTheBaseAndRefuseDotSegments) {
    struct Row {
        const char* name;
        std::string base;
        std::string prefix;  // what every request address starts with
    };
    const Row rows[] = {
        {"host with a slash", "https://gmail.example/",
         "https://gmail.example/gmail/v1/users/me/messages"},
        {"base with a path", "https://proxy.example/mail",
         "https://proxy.example/mail/gmail/v1/users/me/messages"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = CapturingLogSink::install();
        Harness harness(
            [](const HTTPRequest& request, std::stop_token) {
                if (isList(request)) {
                    return jsonResponse(
                        200, R"({"messages": [{"id": "."}, {"id": ".."}, {"id": "a/b"}, )"
                             R"({"id": "ab12"}]})");
                }
                return jsonResponse(200, gmailMessageJSON("ab12", "fine"));
            },
            row.base);
        const auto messages = harness.read();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, "g1:ab12");
        EXPECT_EQ(harness.transport->urls(),
                  (std::vector<std::string>{row.prefix + "?q=after:1&maxResults=20",
                                            row.prefix + "/ab12?format=full"}));
        EXPECT_EQ(log->lines().size(), 3u);  // one line per refused id, naming the account
        for (const auto& line : log->lines()) {
            EXPECT_NE(line.find("g1"), std::string::npos) << line;
        }
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing
