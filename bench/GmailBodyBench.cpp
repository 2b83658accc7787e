// Renders a realistic 1 MiB HTML mail (a newsletter: nested layout tables, inline styles, a style
// sheet, many links and images) to the display text the detail pane shows, and turns the same mail,
// HTML only, into the message the classifier and the detail pane read. The anchor beside them is libxml2 alone building
// its tree of the same document: the floor under any reading of it.
#include <string>

#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>

#include "core/Base64.h"
#include "sources/gmail/GmailThreadConversion.h"
#include "sources/gmail/mime/GmailBodyFormatter.h"

namespace {

std::string newsletterItem(int index) {
    const std::string n = std::to_string(index);
    return R"(<tr><td style="padding:12px 24px;border-bottom:1px solid #e5e5e5;font-family:Helvetica,Arial,sans-serif">)"
           R"(<table role="presentation" width="100%" cellpadding="0" cellspacing="0" border="0"><tr>)"
           R"(<td width="120" valign="top" style="padding-right:16px"><a href="https://news.example.com/story/)" +
           n +
           R"(?utm_source=mail&amp;utm_medium=email&amp;utm_campaign=weekly" target="_blank">)"
           R"(<img src="https://cdn.example.com/images/story-)" +
           n + R"(.jpg" width="120" height="80" alt="Story )" + n +
           R"(" style="display:block;border:0;border-radius:4px"></a></td>)"
           R"(<td valign="top" style="font-size:15px;line-height:22px;color:#333333">)"
           R"(<h3 style="margin:0 0 6px 0;font-size:18px;color:#111111"><a href="https://news.example.com/story/)" +
           n + R"(" style="color:#111111;text-decoration:none">Headline number )" + n +
           R"( about the week&rsquo;s events</a></h3>)"
           R"(<p style="margin:0 0 8px 0">Here is a short summary of story )" +
           n +
           R"(, with <b>bold</b> words, <a href="https://example.com/a?x=1&amp;y=2" style="color:#0066cc">a link</a>)"
           R"( and&nbsp;a few more words to read before the next item &mdash; like a real newsletter would.</p>)"
           R"(<p style="margin:0"><a href="https://news.example.com/share/)" +
           n +
           R"(" style="color:#0066cc;font-size:13px">Share</a> &middot; )"
           R"(<a href="https://news.example.com/save/)" +
           n +
           R"(" style="color:#0066cc;font-size:13px">Save</a></p>)"
           R"(</td></tr></table></td></tr>)"
           "\n";
}

std::string realisticHtmlMail(std::size_t bytes) {
    std::string html =
        R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Weekly digest</title><style type="text/css">)"
        R"(body{margin:0;padding:0} .wrapper{width:100%;background:#f4f4f4} @media only screen and (max-width:600px){)"
        R"(.inner{width:100%!important} .stack{display:block!important;width:100%!important}})"
        R"(</style></head><body style="margin:0;padding:0;background-color:#f4f4f4">)"
        R"(<div style="display:none;max-height:0;overflow:hidden">This week's top stories, picked for you.</div>)"
        R"(<table class="wrapper" role="presentation" width="100%" cellpadding="0" cellspacing="0" border="0"><tr><td align="center">)"
        R"(<table class="inner" role="presentation" width="600" cellpadding="0" cellspacing="0" border="0" style="background:#ffffff">)"
        R"(<tr><td style="padding:24px;font-size:24px;font-weight:bold">The Weekly Digest</td></tr>)"
        "\n";
    const std::string footer =
        R"(<tr><td style="padding:24px;font-size:12px;color:#888888">You are receiving this because you subscribed.)"
        R"( <a href="https://news.example.com/unsubscribe?u=abc&amp;id=def" style="color:#888888">Unsubscribe</a></td></tr>)"
        R"(</table></td></tr></table><img src="https://track.example.com/open.gif?u=abc" width="1" height="1" alt="">)"
        R"(</body></html>)";
    for (int index = 1; html.size() + footer.size() < bytes; ++index) {
        html += newsletterItem(index);
    }
    html += footer;
    return html;
}

void renderRealisticHtmlMail(benchmark::State& state) {
    const std::string html = realisticHtmlMail(static_cast<std::size_t>(state.range(0)));
    std::size_t characters = 0;
    for (auto _ : state) {
        const std::string text =
            nudgerly::GmailBodyFormatter::normalize(nudgerly::GmailBodyFormatter::renderHTML(html));
        characters = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
    state.counters["text_bytes"] = static_cast<double>(characters);
}
BENCHMARK(renderRealisticHtmlMail)->Arg(1 << 20)->Arg(64 << 10)->Unit(benchmark::kMillisecond);

void convertHtmlOnlyMail(benchmark::State& state) {
    const std::string html = realisticHtmlMail(static_cast<std::size_t>(state.range(0)));
    const nudgerly::GmailMessage message{
        .id = "m",
        .internalDate = "1",
        .payload = {.mimeType = "text/html",
                    .headers = {{"Content-Type", "text/html; charset=utf-8"}},
                    .body = nudgerly::GmailBody{nudgerly::Base64::encodeUrlSafe(html)}},
    };
    for (auto _ : state) {
        benchmark::DoNotOptimize(nudgerly::GmailThreadConversion::message(message, "me@example.com"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
}
BENCHMARK(convertHtmlOnlyMail)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void anchorLibxml2Tree(benchmark::State& state) {
    const std::string html = realisticHtmlMail(static_cast<std::size_t>(state.range(0)));
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;
    for (auto _ : state) {
        xmlDoc* document = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8", options);
        benchmark::DoNotOptimize(document);
        xmlFreeDoc(document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
}
BENCHMARK(anchorLibxml2Tree)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
