// Normalization throughput on realistic provider messages, and the HTML sanitizer beside the two
// ICU replacements it stands for, on the same inputs in the same run.
#include "helpers/ReferenceHTMLSanitizer.h"
#include "mail/HTMLSanitizer.h"
#include "mail/MessageNormalization.h"
#include "mail/ProviderMessages.h"
#include "support/Base64.h"

#include <benchmark/benchmark.h>

#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include <string>
#include <vector>

namespace {

using namespace loftwing;

// A sign-in mail as services send them: a styled HTML body with a table layout, a preheader
// comment and a tracking script, beside its plain-text alternative.
std::string newsletterHTML(int repeat) {
    std::string html =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style type=\"text/css\">"
        "body{margin:0;padding:0}.code{font-size:32px;letter-spacing:6px}"
        "@media (max-width:600px){.wrap{width:100%!important}}</style>"
        "<script type=\"application/ld+json\">{\"@type\":\"EmailMessage\"}</script></head>"
        "<body><!-- preheader: your code -->";
    for (int i = 0; i < repeat; ++i) {
        html +=
            "<table role=\"presentation\" class=\"wrap\" width=\"600\"><tr><td "
            "style=\"padding:24px;font-family:Helvetica,Arial,sans-serif\"><p>Hello Ana,</p>"
            "<p>Use this code to finish signing in. It expires in 10 minutes.</p>"
            "<p class=\"code\"><b>482913</b></p><p>If this wasn\u2019t you, "
            "<a href=\"https://example.com/security?u=abc&amp;t=1\">secure your account</a>."
            "</p></td></tr></table><!--[if mso]><table><tr><td><![endif]-->";
    }
    return html + "</body></html>";
}

std::string gmailMessageJSON(int index) {
    const std::string html = newsletterHTML(4 + index % 8);
    const std::string plain =
        "Hello Ana,\r\nUse this code to finish signing in: 482913\r\nIt expires in 10 minutes.";
    boost::json::value message = {
        {"id", "18c2f0a1b2c3" + std::to_string(index)},
        {"internalDate", std::to_string(1'765'046'857'123 + index)},
        {"payload",
         {{"mimeType", "multipart/mixed"},
          {"headers",
           boost::json::array{
               {{"name", "Received"}, {"value", "from mail.example.net by mx.google.com"}},
               {{"name", "Authentication-Results"},
                {"value",
                 "mx.google.com; dkim=pass header.i=@example.net; spf=pass "
                 "smtp.mailfrom=no-reply@example.net; dmarc=pass header.from=example.net"}},
               {{"name", "From"}, {"value", "Example <no-reply@example.net>"}},
               {{"name", "Subject"}, {"value", "Your sign-in code"}},
           }},
          {"body", {{"size", 0}}},
          {"parts",
           boost::json::array{
               {{"mimeType", "multipart/alternative"},
                {"body", {{"size", 0}}},
                {"parts",
                 boost::json::array{
                     {{"mimeType", "text/plain"},
                      {"body", {{"data", base64URLEncodeNoPadding(plain)}}}},
                     {{"mimeType", "text/html"},
                      {"body", {{"data", base64URLEncodeNoPadding(html)}}}},
                 }}},
               {{"mimeType", "image/png"},
                {"filename", "logo.png"},
                {"body", {{"attachmentId", "ANGjdJ8"}, {"size", 4096}}}},
           }}}},
    };
    return boost::json::serialize(message);
}

const StoredAccount account{ConnectedAccount{"acct", MailProvider::google, "ana@example.com", {}},
                            OAuthTokenSet{}};

void BM_GmailDecodeAndNormalize(benchmark::State& state) {
    std::vector<std::string> corpus;
    std::size_t bytes = 0;
    for (int i = 0; i < 20; ++i) {
        corpus.push_back(gmailMessageJSON(i));
        bytes += corpus.back().size();
    }
    for (auto _ : state) {
        for (const auto& json : corpus) {
            auto message = normalizeGmailMessage(*decodeGmailMessage(json), account, Timestamp{});
            benchmark::DoNotOptimize(message);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_GmailDecodeAndNormalize);

void BM_GraphDecodeAndNormalize(benchmark::State& state) {
    boost::json::array value;
    for (int i = 0; i < 20; ++i) {
        value.push_back({
            {"id", "AAMkAGI2TG93AAA" + std::to_string(i)},
            {"receivedDateTime", "2026-12-06T18:27:37.1234567Z"},
            {"subject", "Your sign-in code"},
            {"bodyPreview", "Hello Ana, use this code to finish signing in: 482913"},
            {"body", {{"contentType", "html"}, {"content", newsletterHTML(4 + i % 8)}}},
            {"from",
             {{"emailAddress", {{"name", "Example"}, {"address", "no-reply@example.net"}}}}},
            {"internetMessageHeaders",
             boost::json::array{{{"name", "Authentication-Results"}, {"value", "dmarc=pass"}}}},
        });
    }
    const std::string json = boost::json::serialize(boost::json::object{{"value", value}});
    for (auto _ : state) {
        for (const auto& message : decodeGraphListResponse(json).value) {
            auto normalized = normalizeGraphMessage(message, account);
            benchmark::DoNotOptimize(normalized);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(json.size()));
}
BENCHMARK(BM_GraphDecodeAndNormalize);

std::string repeatedTo(const std::string& piece, std::size_t size) {
    std::string out;
    while (out.size() < size) {
        out += piece;
    }
    return out;
}

// 0: ordinary mail HTML, 1: "<script" openings, 2: "<!--" openings.
std::string sanitizerInput(std::int64_t kind, std::size_t size) {
    switch (kind) {
        case 0:
            return repeatedTo(newsletterHTML(20), size);
        case 1:
            return repeatedTo("<script", size);
        default:
            return repeatedTo("<!--", size);
    }
}

void BM_SanitizerScanner(benchmark::State& state) {
    const auto html = sanitizerInput(state.range(0), static_cast<std::size_t>(state.range(1)));
    for (auto _ : state) {
        auto out = sanitizedHTML(html);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}

void BM_SanitizerICU(benchmark::State& state) {
    const auto html = sanitizerInput(state.range(0), static_cast<std::size_t>(state.range(1)));
    const loftwing::test::ReferenceHTMLSanitizer reference;
    for (auto _ : state) {
        auto out = reference(html);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
}

// Ordinary HTML at 1 MiB for both; hostile openings at 16 and 64 KiB for both (ICU rescans the
// rest of the text once per opening, so its time grows with the square of the size) and at 1 MiB
// for the scanner alone.
BENCHMARK(BM_SanitizerScanner)
    ->Args({0, 1 << 20})
    ->Args({1, 16 << 10})
    ->Args({1, 64 << 10})
    ->Args({1, 1 << 20})
    ->Args({2, 16 << 10})
    ->Args({2, 64 << 10})
    ->Args({2, 1 << 20})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SanitizerICU)
    ->Args({0, 1 << 20})
    ->Args({1, 16 << 10})
    ->Args({1, 64 << 10})
    ->Args({2, 16 << 10})
    ->Args({2, 64 << 10})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
