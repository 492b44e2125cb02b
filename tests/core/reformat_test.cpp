#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "reformat.hpp"

namespace prelivo {
namespace {

// The clipboard as another program would see it: text, or some other
// format (a picture), or nothing.
template <class S>
struct MemoryClipboard : BasicClipboard<S> {
    std::optional<S> text;
    bool holdsPicture = false;
    int writes = 0;
    S getClipboardText() override { return text.value_or(S{}); }
    bool setClipboardText(typename BasicClipboard<S>::View t) override {
        ++writes;
        text = S(t);
        holdsPicture = false;
        return true;
    }
};

// Records what the action wrote, to check that it reads back the box.
template <class S>
struct MemoryEditBox : BasicEditBoxText<S> {
    S content;
    std::vector<S> replaced;
    S read() override { return content; }
    void replace(typename BasicEditBoxText<S>::View t) override {
        content = S(t);
        replaced.push_back(content);
    }
};

TEST(ReformatClipboardText, JoinsIntoEditBoxAndOntoClipboard) {
    MemoryClipboard<Text> clipboard;
    clipboard.text = "\xD6\xD0\r\n\xCE\xC4\xA1\xA3\r\n\r\nnext";
    MemoryEditBox<Text> box;
    box.content = "typed text, never sent";
    reformatClipboardText(clipboard, box);
    const Text joined = "\xD6\xD0\xCE\xC4\xA1\xA3\r\nnext";
    EXPECT_EQ(box.content, joined);
    EXPECT_EQ(clipboard.text, joined);
    ASSERT_EQ(box.replaced.size(), 2u);
    EXPECT_EQ(box.replaced[0], "\xD6\xD0\r\n\xCE\xC4\xA1\xA3\r\n\r\nnext") << "the clipboard text is shown first";
}

TEST(ReformatClipboardText, SecondPressChangesNothing) {
    MemoryClipboard<WideText> clipboard;
    clipboard.text = u"\u7B2C\u4E00\r\n\u884C\u3002\r\n\U0001F600";
    MemoryEditBox<WideText> box;
    reformatClipboardText(clipboard, box);
    const auto afterFirst = clipboard.text;
    reformatClipboardText(clipboard, box);
    EXPECT_EQ(clipboard.text, afterFirst);
    EXPECT_EQ(box.content, *afterFirst);
    EXPECT_EQ(*afterFirst, u"\u7B2C\u4E00\u884C\u3002\r\n\U0001F600");
}

TEST(ReformatClipboardText, ClipboardWithoutTextEmptiesBoxAndIsNotWritten) {
    MemoryClipboard<Text> clipboard;
    clipboard.holdsPicture = true;
    MemoryEditBox<Text> box;
    box.content = "help text";
    reformatClipboardText(clipboard, box);
    EXPECT_EQ(box.content, "");
    EXPECT_EQ(clipboard.writes, 0);
    EXPECT_TRUE(clipboard.holdsPicture);
}

TEST(ReformatClipboardText, JoinsWhatTheBoxReadsBack) {
    // A box that changes what it is given (as a control with a length limit
    // would): the joined text is the box's, not the clipboard's.
    struct TruncatingBox : MemoryEditBox<Text> {
        void replace(View t) override { MemoryEditBox<Text>::replace(t.substr(0, 4)); }
    } box;
    MemoryClipboard<Text> clipboard;
    clipboard.text = "ab\r\ncd.";
    reformatClipboardText(clipboard, box);
    EXPECT_EQ(box.content, "ab");
    EXPECT_EQ(clipboard.text, "ab");
}

TEST(ClearEditBox, EmptiesBoxAndLeavesClipboard) {
    MemoryEditBox<WideText> box;
    box.content = u"joined.";
    clearEditBox(box);
    EXPECT_EQ(box.content, u"");
}

}  // namespace
}  // namespace prelivo
