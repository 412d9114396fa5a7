#pragma once

#include "SandboxClient.h"
#include "helpers/SandboxServer.h"

#include <gtest/gtest.h>

#include <string>

namespace loftwing::test {

// A running sandbox with one Gmail and one Outlook mailbox, each with live tokens, and a client
// that keeps its connection.
class SandboxTest : public ::testing::Test {
  protected:
    SandboxTest()
        : client(sandbox.port(), true),
          gmail(sandbox.createMailbox("google", "ann@example.com", "Ann")),
          graph(sandbox.createMailbox("microsoft", "bob@outlook.com", "Bob")),
          gmailToken(sandbox.issueTokens(gmail).accessToken),
          graphToken(sandbox.issueTokens(graph).accessToken) {}

    SandboxServer sandbox;
    SandboxClient client;
    const std::string gmail;
    const std::string graph;
    const std::string gmailToken;
    const std::string graphToken;
};

}  // namespace loftwing::test
