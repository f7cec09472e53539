// The window's plain logic: UiScale and the page HTML of the browser
// interface.
#include "page_text.h"
#include "ui_scale.h"

#include <gtest/gtest.h>

namespace {

TEST(UiScaleTest, FactorAndRounding)
{
    auto is = [](UiScaleFactor a, int num, int den) { return a.num == num && a.den == den; };
    EXPECT_TRUE(is(ComputeUiScale(96, false), 1, 1));
    EXPECT_TRUE(is(ComputeUiScale(72, false), 1, 1));
    EXPECT_TRUE(is(ComputeUiScale(120, false), 120, 96));
    EXPECT_TRUE(is(ComputeUiScale(192, true), 3, 2));
    EXPECT_EQ(ScaleLength({120, 96}, 24), 30);
    EXPECT_EQ(ScaleLength({120, 96}, 20), 25);
    EXPECT_EQ(ScaleLength({3, 2}, 11), 17);
    // A scaled design length maps back onto itself, so a stretched bitmap
    // is read exactly over its own size.
    for (UiScaleFactor scale : {UiScaleFactor{120, 96}, UiScaleFactor{144, 96}, UiScaleFactor{168, 96}}) {
        for (int v : {1, 4, 13, 19, 20, 33, 64, 100, 132, 640, 1024})
            EXPECT_EQ(UnscaleLength(scale, ScaleLength(scale, v)), v) << scale.num << " " << v;
    }
}

TEST(PageTextTest, LineBreaksLinksAndQuotes)
{
    EXPECT_EQ(PaneTextToPageHtml(L"plain \"quoted\" text"), L"plain &quot;quoted&quot; text");
    EXPECT_EQ(PaneTextToPageHtml(L"one\r\ntwo"), L"one<br><br>two");
    // The field's closing quote goes with the link; a ")" or a line break
    // that ends the address stays in the text.
    EXPECT_EQ(PaneTextToPageHtml(L"(HYPERLINK \"http://b.example) and HYPERLINK \"https://c.example/x\"."),
              L"(<a target=_blank href=http://b.example>http://b.example</a>) and "
              L"<a target=_blank href=https://c.example/x>https://c.example/x</a>.");
    EXPECT_EQ(PaneTextToPageHtml(L"see HYPERLINK \"http://d.example\r\nnext"),
              L"see <a target=_blank href=http://d.example>http://d.example</a><br><br>next");
    // A link at the very end of the text ends there.
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://end.example"),
              L"<a target=_blank href=http://end.example>http://end.example</a>");
}

TEST(PageTextTest, MarkupInTheTextStaysText)
{
    EXPECT_EQ(
        PaneTextToPageHtml(L"<img src=x onerror=alert(1)>\r\n<script>go()</script> & <br>"),
        L"&lt;img src=x onerror=alert(1)&gt;<br><br>&lt;script&gt;go()&lt;/script&gt; &amp; &lt;br&gt;");
    // A query's "&" stays in the address (the browser reads "&amp;" as "&");
    // an escaped "<" or ">" and white space end it, so nothing can follow
    // the unquoted address as another attribute.
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://a.example/?x=1&y=2\" <now>"),
              L"<a target=_blank href=http://a.example/?x=1&amp;y=2>http://a.example/?x=1&amp;y=2</a> "
              L"&lt;now&gt;");
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://b.example/<x>"),
              L"<a target=_blank href=http://b.example/>http://b.example/</a>&lt;x&gt;");
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://c.example\tonmouseover=go()"),
              L"<a target=_blank href=http://c.example>http://c.example</a>\tonmouseover=go()");
}

TEST(PageTextTest, AMegabyteOfParagraphsLinksAndQuotesConverts)
{
    // A message of the day of a million characters: empty paragraphs, then
    // links and quotes, each many thousand times.
    std::wstring text, html;
    for (int i = 0; i < 250000; ++i) {
        text += L"\r\n";
        html += L"<br><br>";
    }
    for (int i = 0; i < 20000; ++i) {
        text += L"HYPERLINK \"http://n.example/" + std::to_wstring(i) + L"\" \"x\" ";
        html += L"<a target=_blank href=http://n.example/" + std::to_wstring(i) + L">http://n.example/" +
                std::to_wstring(i) + L"</a> &quot;x&quot; ";
    }
    ASSERT_GT(text.size(), 1000000u);
    EXPECT_TRUE(PaneTextToPageHtml(text) == html);
}

} // namespace
