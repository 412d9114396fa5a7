#pragma once

#include <httplib.h>

#include <boost/json/value.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zevirudi::sandbox {

void sendJSON(httplib::Response& response, int status, const boost::json::value& body);

// The fields of an application/x-www-form-urlencoded body, decoded ("+" is a space). Absent when
// the body is malformed or names a field twice (OAuth forbids repeated parameters).
std::optional<std::map<std::string, std::string>> parseForm(std::string_view body);
std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);

// The token of an "Authorization: Bearer T" header; empty when there is none.
std::string bearerToken(const httplib::Request& request);

std::optional<std::string> queryValue(const httplib::Request& request, const std::string& name);

// `base` with the items appended to its query, percent-encoded; absent when `base` is no URI.
std::optional<std::string> withQueryItems(
    const std::string& base, const std::vector<std::pair<std::string, std::string>>& items);

// Resets the TCP connection that carries `request`, so that the client gets no answer at all.
void dropConnection(const httplib::Request& request);

std::string htmlEscaped(std::string_view text);

}  // namespace zevirudi::sandbox
