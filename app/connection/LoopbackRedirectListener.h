#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zevirudi {

// The browser's way back to the application for a loopback redirect URI (http on 127.0.0.1,
// [::1] or localhost): listens there, answers exactly one GET of the redirect path with a page
// saying the sign-in can continue in the application, then stops listening. Other paths are
// answered 404 and the wait goes on; nothing else is served. The state and the code are not
// examined here: the authorization builder checks them.
class LoopbackRedirectListener {
  public:
    // Whether the redirect URI names a loopback address this listener can serve.
    static bool isLoopback(const std::string& redirectURI);

    // Binds the URI's address and port, or a port the system chooses when the URI has none.
    // Throws LoftwingMultiError::invalidData for a URI that is not loopback, std::system_error
    // when the address cannot be bound.
    explicit LoopbackRedirectListener(const std::string& redirectURI);
    // Stops listening and closes every connection.
    ~LoopbackRedirectListener();
    LoopbackRedirectListener(const LoopbackRedirectListener&) = delete;
    LoopbackRedirectListener& operator=(const LoopbackRedirectListener&) = delete;

    // The redirect URI with the port that is listening written into it.
    const std::string& redirectURI() const { return redirectURI_; }

    // Serves on a thread of its own. `onRedirect` gets the full URL of the matching request,
    // on that thread, after the page was sent and the listening sockets were closed.
    void start(std::function<void(const std::string& url)> onRedirect);

  private:
    void serve(const std::function<void(const std::string&)>& onRedirect);
    void closeListeners();

    std::string redirectURI_;
    std::string origin_;  // "http://host:port", what a request target is appended to
    std::string path_;    // the redirect path as sent, "/" when the URI has none
    std::vector<int> listeners_;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::thread thread_;
};

}  // namespace zevirudi
