#pragma once

#include <string>

namespace loftwing {

// Overwrites the text's bytes with zeros in a way the compiler cannot drop (a token, a request
// body that carried one, an encoded account record).
void wipeText(std::string& text);

// Wipes a text when the scope ends, also when an exception leaves it.
class WipedOnExit {
  public:
    explicit WipedOnExit(std::string& text) : text_(text) {}
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;
    ~WipedOnExit() { wipeText(text_); }

  private:
    std::string& text_;
};

}  // namespace loftwing
