// The program's main action: the clipboard's text is shown in the edit box,
// its broken lines are joined there, and the result goes back onto the
// clipboard, ready to paste.
#pragma once

#include <string>
#include <string_view>

#include "text.hpp"

namespace prelivo {

// The system clipboard's text. StringT is Text (code page 936 bytes) or
// WideText (UTF-16, as the Windows program holds it).
template <class StringT>
class BasicClipboard {
public:
    using View = std::basic_string_view<typename StringT::value_type>;
    virtual ~BasicClipboard() = default;
    // The clipboard's text; empty when it holds none or cannot be opened.
    virtual StringT getClipboardText() = 0;
    // Replaces the whole clipboard content by text; false when the text
    // was not placed, in which case the clipboard is left as it was.
    virtual bool setClipboardText(View text) = 0;
};

// The content of the program's edit box.
template <class StringT>
class BasicEditBoxText {
public:
    using View = std::basic_string_view<typename StringT::value_type>;
    virtual ~BasicEditBoxText() = default;
    virtual StringT read() = 0;
    virtual void replace(View text) = 0;
};

using Clipboard = BasicClipboard<Text>;
using EditBoxText = BasicEditBoxText<Text>;
using WideClipboard = BasicClipboard<WideText>;
using WideEditBoxText = BasicEditBoxText<WideText>;

// The edit box is the working copy: what is joined is the content read back
// after the clipboard text was written into it, and what goes to the
// clipboard is the content read back after the result was written.
//
// When the clipboard gives no text (it holds a picture or a file list, or
// another program holds it open) the edit box is emptied, but nothing is
// written back: writing the empty text would destroy what the clipboard
// holds.
template <class StringT>
void reformatClipboardText(BasicClipboard<StringT>& clipboard, BasicEditBoxText<StringT>& editBox) {
    const StringT fromClipboard = clipboard.getClipboardText();
    editBox.replace(fromClipboard);
    const StringT shown = editBox.read();
    editBox.replace(joinBrokenLines(shown));
    const StringT joined = editBox.read();
    if (!fromClipboard.empty()) clipboard.setClipboardText(joined);
}

// Empties the edit box; the clipboard keeps what it holds.
template <class StringT>
void clearEditBox(BasicEditBoxText<StringT>& editBox) {
    editBox.replace({});
}

}  // namespace prelivo
