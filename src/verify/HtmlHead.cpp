#include "verify/HtmlHead.h"

#include <gumbo.h>

#include <vector>

#include "util/Ascii.h"
#include "util/Lines.h"

namespace {

std::string_view attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element.attributes, name);
    return found ? std::string_view(found->value) : std::string_view();
}

// Whether a space-separated list (rel) holds the token, in any case.
bool holdsToken(std::string_view list, std::string_view token) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(" \t\r\n\f", start);
        if (end == std::string_view::npos) end = list.size();
        if (equalsIgnoreCaseAscii(list.substr(start, end - start), token)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool forbidsIndexing(std::string_view directives) {
    // "googlebot: noindex" names a crawler; search engines read only their
    // own name there. Ours and every crawler's: the plain form.
    const size_t colon = directives.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view agent = trimmedAscii(directives.substr(0, colon));
        if (agent.find_first_of(" ,") == std::string_view::npos) {
            if (!equalsIgnoreCaseAscii(agent, "googlebot")) return false;
            directives.remove_prefix(colon + 1);
        }
    }
    for (std::string_view word : splitAt(directives, ",")) {
        word = trimmedAscii(word);
        if (equalsIgnoreCaseAscii(word, "noindex") || equalsIgnoreCaseAscii(word, "none")) return true;
    }
    return false;
}

// Debian's libgumbo frees its output with the options it parsed with; the
// fork the Windows build links takes the output alone. Whichever the header
// declares is called.
template <typename Output>
auto destroyOutput(Output* output, int) -> decltype(gumbo_destroy_output(output)) {
    gumbo_destroy_output(output);
}
template <typename Output>
void destroyOutput(Output* output, long) {
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

HtmlHead HtmlHead::read(std::string_view html) {
    HtmlHead head;
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    if (!output) return head;
    std::vector<const GumboNode*> pending{output->root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = node->v.element;
        switch (element.tag) {
            case GUMBO_TAG_HTML:
                head.htmlElement = head.htmlElement || !(node->parse_flags & GUMBO_INSERTION_BY_PARSER);
                break;
            case GUMBO_TAG_TITLE: head.title = true; break;
            case GUMBO_TAG_META: {
                const std::string_view name = trimmedAscii(attribute(element, "name"));
                if (equalsIgnoreCaseAscii(name, "robots") || equalsIgnoreCaseAscii(name, "googlebot"))
                    head.noindex = head.noindex || forbidsIndexing(attribute(element, "content"));
                break;
            }
            case GUMBO_TAG_LINK:
                if (head.canonical.empty() && holdsToken(attribute(element, "rel"), "canonical"))
                    head.canonical = std::string(trimmedAscii(attribute(element, "href")));
                break;
            default: break;
        }
        // Children last to first, so that the first in the source is met first.
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
    destroyOutput(output, 0);
    return head;
}
