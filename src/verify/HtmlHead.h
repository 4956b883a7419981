#pragma once

#include <string>
#include <string_view>

// What a page's own source says about its indexing, read with an HTML5
// parser (comments, scripts, quoting and case cannot fool it), from as much
// of the page as was read: the reader stops after the head.
struct HtmlHead {
    bool htmlElement = false;  // an <html> tag stands in the source (not one the parser implied)
    bool title = false;        // a <title> element
    bool noindex = false;      // <meta name="robots"> or "googlebot" says noindex or none
    std::string canonical;     // the first <link rel="canonical">'s href, as written; empty when none

    // Reads the page's bytes. A page in another character set than UTF-8
    // (Shift_JIS, EUC-JP) reads the same: every mark-up these facts need is
    // ASCII.
    static HtmlHead read(std::string_view html);
};

// Whether a robots directive list ("noindex, nofollow", an X-Robots-Tag
// value) forbids indexing: it holds noindex or none, in any case. A value
// naming another crawler first ("otherbot: noindex") does not count.
bool forbidsIndexing(std::string_view directives);
