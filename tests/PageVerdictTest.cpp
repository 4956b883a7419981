// What one answer from the live site makes of an address.
#include <gtest/gtest.h>

#include "verify/HtmlHead.h"
#include "verify/PageVerdict.h"

namespace {

constexpr const char* kPage = "http://example.com/a/p.html";
const std::string kHtml = "text/html; charset=UTF-8";

TEST(PageVerdict, EachAnswerItsOutcome) {
    using O = PageOutcome;
    const struct {
        const char* what;
        HttpAnswer answer;
        O outcome;
        const char* detail;
        bool fileNotPage;
    } cases[] = {
        {"a page", {200, kHtml, {}, {}, {}, "<!doctype html><html><title>t</title>", false}, O::Kept, "", false},
        {"its own canonical, spelt otherwise", {200, kHtml, {}, {}, {},
          "<HTML><head><LINK REL='Canonical' href='HTTP://Example.com:80/a/p.html#top'></head>", false}, O::Kept, "", false},
        {"another canonical, relative", {200, kHtml, {}, {}, {},
          "<html><link rel=\"alternate canonical\" href=\"../q.html\">", false}, O::OtherCanonical,
         "http://example.com/q.html", false},
        {"a canonical in a Link header", {200, kHtml, {}, {}, {"<http://example.com/>; rel=\"canonical\""},
          "<html>", false}, O::OtherCanonical, "http://example.com/", false},
        {"meta robots noindex", {200, kHtml, {}, {}, {}, "<html><meta name=ROBOTS content='NOINDEX, follow'>", false},
         O::NoIndex, "", false},
        {"meta googlebot none", {200, kHtml, {}, {}, {}, "<html><meta name=googlebot content=none>", false},
         O::NoIndex, "", false},
        {"noindex only in a comment or a script", {200, kHtml, {}, {}, {},
          "<html><!-- <meta name=robots content=noindex> --><script>'<meta name=robots content=noindex>'</script>",
          false}, O::Kept, "", false},
        {"X-Robots-Tag", {200, kHtml, {}, {"noarchive", "none"}, {}, "<html>", false}, O::NoIndex, "", false},
        {"X-Robots-Tag for another crawler", {200, kHtml, {}, {"otherbot: noindex"}, {}, "<html>", false}, O::Kept,
         "", false},
        {"an empty page", {200, kHtml, {}, {}, {}, "", false}, O::NotAPage, "", false},
        {"a fragment (an include)", {200, kHtml, {}, {}, {}, "<div>menu</div>", false}, O::NotAPage, "", false},
        {"a title alone will do", {200, kHtml, {}, {}, {}, "<title>old page</title>text", false}, O::Kept, "", false},
        {"PHP source as text", {200, "text/plain", {}, {}, {}, "<?php echo 1;", false}, O::NotAPage, "", false},
        {"a PDF the user added", {200, "application/pdf", {}, {}, {}, "%PDF", false}, O::Kept, "", true},
        {"moved", {301, "", "/b/p.html", {}, {}, "", false}, O::Redirect, "http://example.com/b/p.html", false},
        {"gone", {410, kHtml, {}, {}, {}, "gone", false}, O::NotFound, "", false},
        {"not found", {404, kHtml, {}, {}, {}, "", false}, O::NotFound, "", false},
        {"a password", {401, kHtml, {}, {}, {}, "", false}, O::NotPublic, "", false},
        {"forbidden", {403, kHtml, {}, {}, {}, "", false}, O::NotPublic, "", false},
        {"a method it will not take", {405, kHtml, {}, {}, {}, "", false}, O::NotAPage, "", false},
        {"a broken page with a body", {500, kHtml, {}, {}, {}, "Fatal error", false}, O::Unconfirmed, "", false},
        {"an empty 500 twice", {500, kHtml, {}, {}, {}, "", true}, O::NotAPage, "", false},
        {"no answer", {0, "", {}, {}, {}, "", false}, O::Unconfirmed, "", false},
    };
    for (const auto& c : cases) {
        const PageVerdict verdict = PageVerdict::of(kPage, c.answer, c.fileNotPage);
        EXPECT_EQ(verdict.outcome, c.outcome) << c.what;
        EXPECT_EQ(verdict.detail, c.detail) << c.what;
        EXPECT_FALSE(verdict.askAgain) << c.what;
    }
    // An empty 5xx the first time: asked again later, kept meanwhile.
    const PageVerdict first = PageVerdict::of(kPage, {503, kHtml, {}, {}, {}, "", false}, false);
    EXPECT_EQ(first.outcome, PageOutcome::Unconfirmed);
    EXPECT_TRUE(first.askAgain);
}

TEST(PageVerdict, HeadFactsFromPagesInOtherCharacterSets) {
    // Shift_JIS bytes around ASCII mark-up: the facts read the same.
    const HtmlHead head = HtmlHead::read(
        "<html><head><meta charset=\"Shift_JIS\"><title>\x83\x65\x83\x58\x83\x67</title>"
        "<meta name=\"robots\" content=\"noindex\"><link rel=canonical href=\"/\x83\x65.html\"></head>");
    EXPECT_TRUE(head.htmlElement);
    EXPECT_TRUE(head.title);
    EXPECT_TRUE(head.noindex);
    EXPECT_FALSE(head.canonical.empty());
    EXPECT_FALSE(HtmlHead::read("<p>no html tag of its own</p>").htmlElement);
}

}  // namespace
