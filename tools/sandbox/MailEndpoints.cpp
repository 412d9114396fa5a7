#include "HttpSupport.h"
#include "MessageBuilder.h"
#include "ProviderErrors.h"
#include "SandboxService.h"

#include <boost/json.hpp>

#include <charconv>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

std::optional<std::int64_t> integer(const std::string& text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The "after:SECONDS" term of a Gmail search; other terms do not narrow the sandbox's inbox.
std::optional<std::optional<std::int64_t>> afterMilliseconds(const std::string& query) {
    std::optional<std::int64_t> after;
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find(' ', start);
        std::string term = query.substr(start, end == std::string::npos ? end : end - start);
        if (term.starts_with("after:")) {
            auto seconds = integer(term.substr(6));
            if (!seconds) {
                return std::nullopt;
            }
            after = *seconds * 1000;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return after;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        std::string item = text.substr(start, end == std::string::npos ? end : end - start);
        if (!item.empty()) {
            items.push_back(item);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return items;
}

// Graph's $select: the named properties (and the ones Graph always sends), in resource order.
json::object selected(const json::object& resource, const std::optional<std::string>& select) {
    if (!select) {
        return resource;
    }
    std::vector<std::string> names = splitList(*select);
    json::object result;
    for (const auto& item : resource) {
        const std::string key(item.key());
        if (key == "id" || key.starts_with("@odata.") ||
            std::find(names.begin(), names.end(), key) != names.end()) {
            result[key] = item.value();
        }
    }
    return result;
}

void gmailBadRequest(httplib::Response& response, const std::string& message) {
    sendJSON(response, 400, googleAPIError(400, message, {"invalidArgument"}));
}

}  // namespace

std::optional<Mailbox> SandboxService::authorizedMailbox(Provider provider,
                                                         const httplib::Request& request,
                                                         httplib::Response& response) {
    auto outcome = tokens_.authorize(provider, bearerToken(request));
    if (const auto* account = std::get_if<std::string>(&outcome)) {
        if (auto mailbox = directory_.profile(*account)) {
            return mailbox;
        }
    }
    const bool expired =
        std::holds_alternative<TokenRegistry::AccessRefusal>(outcome) &&
        std::get<TokenRegistry::AccessRefusal>(outcome) == TokenRegistry::AccessRefusal::expired;
    if (provider == Provider::microsoft) {
        response.set_header("WWW-Authenticate",
                            "Bearer realm=\"\", authorization_uri=\"" + baseURL_ +
                                "/microsoft/oauth/authorize\", error=\"invalid_token\"");
        sendJSON(response, 401,
                 graphError(401, expired ? "Lifetime validation failed, the token is expired."
                                         : "Access token validation failure. Invalid audience."));
        return std::nullopt;
    }
    response.set_header("WWW-Authenticate",
                        "Bearer realm=\"https://accounts.google.com/\", error=\"invalid_token\"");
    if (request.path == "/v1/userinfo") {
        sendJSON(response, 401,
                 json::object{{"error", "invalid_request"},
                              {"error_description", "Invalid Credentials"}});
        return std::nullopt;
    }
    sendJSON(response, 401,
             googleAPIError(401,
                            "Request had invalid authentication credentials. Expected OAuth 2 "
                            "access token, login cookie or other valid authentication credential.",
                            {"authError"}));
    return std::nullopt;
}

void SandboxService::googleUserinfo(const httplib::Request& request, httplib::Response& response) {
    auto mailbox = authorizedMailbox(Provider::google, request, response);
    if (!mailbox) {
        return;
    }
    json::object profile{{"sub", mailbox->subjectID}, {"name", mailbox->name}};
    if (mailbox->mail) {
        profile["email"] = *mailbox->mail;
        profile["email_verified"] = true;
    }
    sendJSON(response, 200, profile);
}

void SandboxService::gmailList(const httplib::Request& request, httplib::Response& response) {
    auto mailbox = authorizedMailbox(Provider::google, request, response);
    if (!mailbox) {
        return;
    }
    auto after = afterMilliseconds(queryValue(request, "q").value_or(""));
    if (!after) {
        gmailBadRequest(response, "Invalid search query.");
        return;
    }
    auto maxResults = integer(queryValue(request, "maxResults").value_or("100"));
    if (!maxResults || *maxResults < 1 || *maxResults > 500) {
        gmailBadRequest(response, "Invalid maxResults.");
        return;
    }
    std::int64_t offset = 0;
    if (auto pageToken = queryValue(request, "pageToken")) {
        auto parsed = pageToken->starts_with("sbx") ? integer(pageToken->substr(3)) : std::nullopt;
        if (!parsed || *parsed < 0) {
            gmailBadRequest(response, "Invalid pageToken.");
            return;
        }
        offset = *parsed;
    }
    auto listing = directory_.list(mailbox->accountID(), *after, static_cast<std::size_t>(offset),
                                   static_cast<std::size_t>(*maxResults));
    json::object body;
    if (!listing->page.empty()) {
        json::array messages;
        for (const StoredMessage& message : listing->page) {
            messages.push_back(json::object{{"id", message.id}, {"threadId", message.id}});
        }
        body["messages"] = std::move(messages);
    }
    const std::size_t end = static_cast<std::size_t>(offset) + listing->page.size();
    if (end < listing->total) {
        body["nextPageToken"] = "sbx" + std::to_string(end);
    }
    body["resultSizeEstimate"] = listing->total;
    sendJSON(response, 200, body);
}

void SandboxService::gmailGet(const httplib::Request& request, httplib::Response& response) {
    auto mailbox = authorizedMailbox(Provider::google, request, response);
    if (!mailbox) {
        return;
    }
    auto message = directory_.message(mailbox->accountID(), request.matches[1].str());
    if (!message) {
        sendJSON(response, 404,
                 googleAPIError(404, "Requested entity was not found.", {"notFound"}));
        return;
    }
    const std::string format = queryValue(request, "format").value_or("full");
    json::object resource = message->resource;
    if (format == "minimal") {
        resource.erase("payload");
    } else if (format != "full" && format != "metadata") {
        gmailBadRequest(response, "Invalid format.");
        return;
    }
    sendJSON(response, 200, resource);
}

void SandboxService::graphMe(const httplib::Request& request, httplib::Response& response) {
    auto mailbox = authorizedMailbox(Provider::microsoft, request, response);
    if (!mailbox) {
        return;
    }
    json::object me{
        {"@odata.context", baseURL_ + "/v1.0/$metadata#users/$entity"},
        {"businessPhones", json::array{}},
        {"displayName", mailbox->name},
        {"mail", mailbox->mail ? json::value(*mailbox->mail) : json::value(nullptr)},
        {"preferredLanguage", "en-US"},
        {"userPrincipalName", mailbox->userPrincipalName},
        {"id", mailbox->subjectID},
    };
    sendJSON(response, 200, selected(me, queryValue(request, "$select")));
}

void SandboxService::graphMessages(const httplib::Request& request, httplib::Response& response) {
    auto mailbox = authorizedMailbox(Provider::microsoft, request, response);
    if (!mailbox) {
        return;
    }
    auto top = integer(queryValue(request, "$top").value_or("10"));
    auto skip = integer(queryValue(request, "$skip").value_or("0"));
    if (!top || *top < 1 || *top > 1000 || !skip || *skip < 0) {
        sendJSON(response, 400, graphError(400, "Invalid value for $top or $skip."));
        return;
    }
    auto orderBy = queryValue(request, "$orderby");
    if (orderBy && *orderBy != "receivedDateTime desc" && *orderBy != "receivedDateTime DESC") {
        sendJSON(response, 400,
                 graphError(400, "The sandbox orders by receivedDateTime desc only."));
        return;
    }
    auto select = queryValue(request, "$select");
    auto listing = directory_.list(mailbox->accountID(), std::nullopt,
                                   static_cast<std::size_t>(*skip), static_cast<std::size_t>(*top));
    json::array value;
    for (const StoredMessage& message : listing->page) {
        value.push_back(selected(message.resource, select));
    }
    json::object body{
        {"@odata.context", baseURL_ + "/v1.0/$metadata#users('" + mailbox->subjectID +
                               "')/mailFolders('inbox')/messages"},
        {"value", std::move(value)},
    };
    const std::size_t end = static_cast<std::size_t>(*skip) + listing->page.size();
    if (end < listing->total) {
        std::vector<std::pair<std::string, std::string>> items{{"$top", std::to_string(*top)},
                                                               {"$skip", std::to_string(end)}};
        if (orderBy) {
            items.emplace_back("$orderby", *orderBy);
        }
        if (select) {
            items.emplace_back("$select", *select);
        }
        body["@odata.nextLink"] =
            withQueryItems(baseURL_ + "/v1.0/me/mailFolders/inbox/messages", items).value_or("");
    }
    sendJSON(response, 200, body);
}

}  // namespace zevirudi::sandbox
