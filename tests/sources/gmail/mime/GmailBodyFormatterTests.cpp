#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Regex.h"
#include "core/Text.h"
#include "loopback/LoopbackHttpServer.h"
#include "platform/formats/HtmlText.h"
#include "sources/gmail/mime/FromHeader.h"
#include "sources/gmail/mime/GmailBodyFormatter.h"
#include "sources/gmail/mime/MarkupTags.h"

namespace nudgerly {
namespace {

using namespace std::chrono_literals;
namespace Formatter = GmailBodyFormatter;

std::string display(const std::string& html) {
    return Formatter::normalize(Formatter::renderHTML(html));
}

TEST(GmailBodyFormatterTests, ClassificationTextIsOneCleanLine) {
    EXPECT_EQ(Formatter::classificationText("<p>One</p><p>Two</p>", true), "One Two");
    EXPECT_EQ(Formatter::classificationText("<p>One</p><p>Two</p>", false), "<p>One</p><p>Two</p>");
    // "&nbsp;" goes before "&amp;", so an escaped one survives as text; no other entity is decoded.
    EXPECT_EQ(Formatter::classificationText("a &amp;nbsp; b", false), "a &nbsp; b");
    EXPECT_EQ(Formatter::classificationText("x&nbsp;&nbsp;y &amp; &lt;z&gt; &#39;", false), "x y & &lt;z&gt; &#39;");
    EXPECT_EQ(Formatter::classificationText("  \r\n line\t\tone \u00A0\n\nline two \u2003 ", false),
              "line one line two");
    EXPECT_EQ(Formatter::classificationText("a<>b < c", true), "a<>b < c");
}

TEST(GmailBodyFormatterTests, NormalizeKeepsSingleEmptyLinesBetweenText) {
    EXPECT_EQ(Formatter::normalize("\r\n\r\n  a  \r\n\r\n\r\nb\n\n"), "a\n\nb");
    EXPECT_EQ(Formatter::normalize("x\ry\u00A0\u00A0z\uFFFC\n\t \n"), "x\ny  z");
    EXPECT_EQ(Formatter::normalize(" \n\t\n"), "");
    EXPECT_EQ(Formatter::normalize("a\n \n\u2003\nb"), "a\n\n\u2003\nb");  // only blanks and tabs are trimmed
}

TEST(GmailBodyFormatterTests, RenderedHtmlKeepsBlocksOnTheirOwnLines) {
    EXPECT_EQ(display("<p>One</p><p>Two</p>"), "One\n\nTwo");
    EXPECT_EQ(display("<div>a</div><div>b</div>text<br>next<br/>last"), "a\n\nb\n\ntext\nnext\nlast");
    EXPECT_EQ(display("<b>bold</b>   <i>and</i>\n\n  <a href='https://x.example'>link</a>"), "bold and link");
    EXPECT_EQ(display("<table><tr><td>Item</td><td>Price</td></tr><tr><td>Tea</td><td>3</td></tr></table>"),
              "Item\tPrice\n\nTea\t3");
    EXPECT_EQ(display("<pre>  keep   this\n  as is</pre>"), "keep   this\nas is");
    EXPECT_EQ(display("<ul><li>one</li><li>two</li></ul>"), "one\ntwo");
    EXPECT_EQ(display("Caf&eacute; &amp; cr&egrave;me&nbsp;br&ucirc;l&eacute; &#8212; &lt;3"),
              "Caf\u00E9 & cr\u00E8me br\u00FBl\u00E9 \u2014 <3");
}

TEST(GmailBodyFormatterTests, HiddenContentNeverShows) {
    const std::string html =
        "<html><head><title>Secret title</title><style>p{color:red}</style>"
        "<script>var hidden = 'script text';</script></head><body>"
        "<p>Visible</p><script type='text/javascript'>document.write('also hidden')</script>"
        "<noscript>no script</noscript><template><p>template</p></template><p>End</p></body></html>";
    EXPECT_EQ(display(html), "Visible\n\nEnd");
    // The reader alone hides them as well, whatever the clean-up before it did.
    EXPECT_EQ(Formatter::normalize(*HtmlText::visibleText(html)), "Visible\n\nEnd");
    EXPECT_EQ(display("<p>A</p><svg><text>drawing</text></svg><iframe src='x'>frame</iframe><object>o</object>"
                      "<SCRIPT>x</SCRIPT ><p>B</p>"),
              "A\n\nB");
}

TEST(GmailBodyFormatterTests, HtmlReadsAsItsVisibleTextForClassificationAndDisplay) {
    struct Case {
        std::string html;
        std::string text;
        std::string displayText;
    };
    const Case cases[] = {
        {"<html><head><title>Document Title</title><style>strong { font-size: 110%; }</style></head><body>"
         "<p>Gr&uuml;&szlig;e aus <strong>Berlin</strong> &amp; M&uuml;nchen&nbsp;&lt;3 &#39;x&#39;</p>"
         "<script>track('open')</script><p>Bis bald</p></body></html>",
         "Gr\u00FC\u00DFe aus Berlin & M\u00FCnchen <3 'x' Bis bald",
         "Gr\u00FC\u00DFe aus Berlin & M\u00FCnchen <3 'x'\n\nBis bald"},
        {"a &amp;nbsp; b", "a &nbsp; b", "a &nbsp; b"},
        // A newsletter's preheader, and the other ways mail hides text.
        {"<div style=\"display:none;font-size:1px;max-height:0px;overflow:hidden\">Preheader text</div><p>Body</p>",
         "Body", "Body"},
        {"<p>a<span style=\"Visibility: Hidden\">x</span>b<span style=\"display: none !important\">x</span>c</p>"
         "<div style=\"MAX-HEIGHT:0; overflow : hidden\"><p>x</p></div><p hidden>x</p><p>d<span "
         "style=\"font-size:0px\">x</span></p>"
         "<br hidden><table style=\"display:none\"><tr><td>x</td></tr></table>",
         "abc d", "abc\n\nd"},
        // What only looks hidden stays: zero-size containers with sized children, clipping without a
        // zero height, visibility restored, and style text in the content.
        {"<table><tr><td style=\"font-size:0\"><div style=\"font-size:14px\">Column one</div>"
         "<div style=\"font-size:0.5em\">tiny</div></td></tr></table>"
         "<div style=\"max-height:0\">Unclipped</div><div style=\"overflow:hidden;max-height:10px\">Clipped</div>"
         "<span style=\"visibility:hidden\"><b style=\"visibility:visible\">Back</b></span>"
         "<p style=\"display:block\">set display:none here</p><p style=\"font-size:10px\" data-hidden=\"1\">End</p>",
         "Column one Unclipped Clipped Back set display:none here End",
         "Column one\n\nUnclipped\n\nClipped\n\nBack\n\nset display:none here\n\nEnd"},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(Formatter::classificationText(each.html, true), each.text) << each.html;
        EXPECT_EQ(display(each.html), each.displayText) << each.html;
    }
}

TEST(GmailBodyFormatterTests, MarkupDeclarationsAreNotText) {
    // A newsletter's editor marks its regions, and Outlook's conditionals wrap what other readers show.
    const std::string newsletter =
        "<!DOCTYPE html><html><body><table><tr><td><!VR> <!EVR>Classified: bike for sale</td></tr></table>"
        "<![if !mso]><p>Shown outside Outlook</p><![endif]><!-- a comment --><p>a<!>b <!x y=\"1>c</p></body></html>";
    EXPECT_EQ(Formatter::classificationText(newsletter, true), "Classified: bike for sale Shown outside Outlook ab c");
    EXPECT_EQ(display(newsletter), "Classified: bike for sale\n\nShown outside Outlook\n\nab c");
    // A declaration is no tag: what looks like one inside a quoted value, a comment or text read as
    // written stays what it is.
    EXPECT_EQ(display("<p title=\"<!x>\">kept</p><p><!-- <!y> --></p><textarea><!z></textarea>"), "kept\n\n<!z>");
    EXPECT_EQ(*HtmlText::visibleText("<script>a<!b</script>c<style>p<!x{}</style>d"), "cd");
    // A declaration ends at the first ">", whatever it is in, or else at the end.
    EXPECT_EQ(display("<p>before</p><!x <p>after</p>"), "before\n\nafter");
    EXPECT_EQ(display("<p>before</p><!unclosed after"), "before");
}

TEST(GmailBodyFormatterTests, AMetaCharsetCannotChangeHowUtf8IsRead) {
    EXPECT_EQ(display("<meta charset='iso-8859-1'><p>na\u00EFve \u2014 \U0001F600</p>"),
              "na\u00EFve \u2014 \U0001F600");
    EXPECT_EQ(display("<meta http-equiv='Content-Type' content='text/html; charset=windows-1252'>\u00E9"), "\u00E9");
}

TEST(GmailBodyFormatterTests, HostileMarkupEndsPromptlyInTheTagStrippingFallback) {
    std::string scripts;
    for (int i = 0; i < 5000; ++i) {
        scripts += "<script";
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(display(scripts + "<p>Hello</p> world<br>next"), "Hello world\nnext");
    std::string opens(200'000, '<');
    EXPECT_EQ(display(opens + "text"), opens + "text");  // nothing closes, so nothing is a tag
    // A guard against hangs, not a speed target: each of these once took minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    std::string deep;
    for (int i = 0; i < 100'000; ++i) {
        deep += "<div><span>";
    }
    EXPECT_EQ(display(deep + "bottom"), "bottom");
}

TEST(GmailBodyFormatterTests, RenderingNeverFetchesAnything) {
    test::LoopbackHttpServer server([](const test::TestHttpRequest&, test::ResponseWriter& writer) {
        writer.respond(200, "<!ENTITY x 'fetched'>");
    });
    const std::string at = server.baseUrl();
    const std::string html = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"" + at +
                             "/dtd\">"
                             "<?xml-stylesheet href=\"" +
                             at +
                             "/xsl\"?>"
                             "<html><head><link rel=stylesheet href='" +
                             at + "/css'><base href='" + at +
                             "/'></head>"
                             "<body background='" +
                             at + "/bg' style=\"background:url(" + at +
                             "/style)\">"
                             "<img src='" +
                             at + "/pixel.gif'><img srcset='" + at + "/set 2x'><picture><source srcset='" + at +
                             "/p'></picture>"
                             "<video poster='" +
                             at + "/poster' src='" + at + "/v'></video><audio src='" + at +
                             "/a'></audio>"
                             "<iframe src='" +
                             at + "/frame'></iframe><object data='" + at +
                             "/object'></object>"
                             "<embed src='" +
                             at + "/embed'><script src='" + at +
                             "/js'></script>"
                             "<table background='" +
                             at + "/table'><tr><td>Photo &x;</td></tr></table></body></html>";
    const std::string text = display(html);
    EXPECT_NE(text.find("Photo"), std::string::npos);
    EXPECT_TRUE(HtmlText::visibleText(html));
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(GmailBodyFormatterTests, TagScanningMatchesTheTagPattern) {
    // The scanner stands in for "<[^>]+>" and "<([^>]+)>"; on any text it must find what they find.
    const Regex tag("<[^>]+>");
    const Regex bracketed("<([^>]+)>");
    std::mt19937 random(7);
    const std::vector<std::string> alphabet = {"<", ">", "a", " ", "\n", "\u00E9", "<>", "\U0001F600"};
    for (int round = 0; round < 3000; ++round) {
        std::string sample;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) {
            sample += alphabet[random() % alphabet.size()];
        }
        EXPECT_EQ(MarkupTags::replacingAll(sample, " "), tag.replacingAll(sample, " ")) << sample;
        const icu::UnicodeString unicode = text::toUnicode(sample);
        const auto matches = bracketed.matches(unicode);
        const auto found = MarkupTags::find(sample);
        ASSERT_EQ(found.has_value(), !matches.empty()) << sample;
        if (found) {
            EXPECT_EQ(sample.substr(found->first, found->second - found->first),
                      text::toUtf8(unicode.tempSubStringBetween(matches[0].start, matches[0].end)));
        }
    }
}

TEST(GmailBodyFormatterTests, EveryPatternCompilesAsQuoted) {
    std::vector<const Regex*> all = Formatter::patterns();
    const auto fromHeader = FromHeader::patterns();
    all.insert(all.end(), fromHeader.begin(), fromHeader.end());
    EXPECT_EQ(all.size(), 6u);
    // Lengths of the trickiest quoted patterns, to catch a lost or doubled backslash.
    EXPECT_EQ(Formatter::patterns().at(1)->pattern().size(), 68u);
    EXPECT_EQ(Formatter::patterns().at(3)->pattern().size(), 60u);
}

}  // namespace
}  // namespace nudgerly
