#pragma once

#include <boost/json/value.hpp>

#include <string>
#include <vector>

namespace zevirudi::sandbox {

// The error body Google's APIs (Gmail, userinfo) send: {"error":{"code","message","errors":
// [{"message","domain","reason"}],"status"}}.
boost::json::value googleAPIError(int status, const std::string& message,
                                  const std::vector<std::string>& reasons);
// The reason Google gives for a status when none is asked for.
std::string googleDefaultReason(int status);
// Microsoft Graph's error body: {"error":{"code","message","innerError"}}.
boost::json::value graphError(int status, const std::string& message);

}  // namespace zevirudi::sandbox
