// The HTML report's escaping and the labels' display form: text from the data or the command
// line, hostile or broken, as it reaches the page.
#include <gtest/gtest.h>

#include <string>

#include "zorvi/html/html_impl.hpp"
#include "zorvi/text/messages.hpp"

namespace {

using zorvi::detail::display_label;
using zorvi::detail::html_text;

TEST(ReportHtmlEscaping, EveryTextFromOutside) {
    struct Case {
        std::string text;
        std::string html;
    };
    const Case cases[] = {
        {"plain name.csv", "plain name.csv"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"\"><svg onload=alert(1)>", "&quot;&gt;&lt;svg onload=alert(1)&gt;"},
        {"' onmouseover='x", "&#39; onmouseover=&#39;x"},
        {"a&amp;b", "a&amp;amp;b"},                     // an entity stays text
        {"]]><!-- -->", "]]&gt;&lt;!-- --&gt;"},        // no comment or CDATA end
        {"tab\there\nline\r", "tab\\there\\nline\\r"},  // controls visible
        {std::string("nul\x00x", 5), "nul\\x00x"},
        {"esc\x1b[31m", "esc\\x1b[31m"},
        {"bad \xff\xfe utf-8 \xc3", "bad \xEF\xBF\xBD\xEF\xBF\xBD utf-8 \xEF\xBF\xBD"},
        {"\xE2\x80\xAE"
         "evil",
         "\\u202eevil"},                        // a right-to-left override, shown
        {"c1 \xC2\x85 next", "c1 \\x85 next"},  // NEL, a C1 control
        {"Andr\xC3\xA9 \xE2\x89\xA5 5", "Andr\xC3\xA9 \xE2\x89\xA5 5"},  // kept as they are
        {"back\\slash", "back\\slash"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(html_text(c.text), c.html) << c.text;
}

TEST(ReportHtmlEscaping, LabelsAreCutToFortyCharacters) {
    const std::string ellipsis = "\xE2\x80\xA6";
    std::string accented;  // forty characters of two bytes each
    for (int k = 0; k < 40; ++k)
        accented += "\xC3\xA9";
    struct Case {
        std::string label;
        std::string shown;
    };
    const Case cases[] = {
        {"Harvey", "Harvey"},
        {std::string(40, 'x'), std::string(40, 'x')},             // just fits
        {std::string(41, 'x'), std::string(39, 'x') + ellipsis},  // one too many
        {accented, accented},                                     // characters, not bytes
        {accented + "e", accented.substr(0, 78) + ellipsis},
        {"Bob\tthe\nstorm", "Bob\\tthe\\nstorm"},  // controls visible
        {"\xff" + std::string(45, 'a'), "\xEF\xBF\xBD" + std::string(38, 'a') + ellipsis},
        {std::string(38, 'a') + "\x1b", std::string(38, 'a') + ellipsis},  // "\x1b" is 4 wide
    };
    for (const Case& c : cases)
        EXPECT_EQ(display_label(c.label), c.shown) << c.label;
}

}  // namespace
