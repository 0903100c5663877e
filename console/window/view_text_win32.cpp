// The console window's view (Windows): its control, its fill from the ring buffer, the text appended to
// it, and its bound.
#include "window/view_text.h"

#include "window/resource.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

namespace {

// The view's bound. The rich edit control takes only 32,767 characters unless told otherwise, and a host
// that runs for days would make an unbounded view grow without end. So the view keeps the newest lines
// only: once it holds more than four times "InternalBufferSize" characters (at least 262,144; with the
// default buffer 409,600), the oldest whole lines go until it holds at most half of that, which is still
// twice what the ring buffer holds (the text the view starts from). The control's own limit is twice the
// bound, so that the view at its bound plus one batch of waiting text, itself kept to the bound, always
// fits and nothing is cut by the control. Text waits for the view only while its thread is busy (a report
// running): it is kept to the newest lines in the same way, and then replaces the view's text, so that
// the view always shows one unbroken stretch of the newest lines. (Wine's rich edit removes lines in time
// that grows with the lines it keeps, which is why the bound is no larger.)
constexpr std::size_t kMinimumViewTrimAt = 262144;
constexpr std::size_t kMaximumViewTrimAt = 0x3FFFFFFF; // twice it still fits the control's limit

} // namespace

std::size_t ViewTrimAtFor(std::int32_t ringSize) {
    const std::size_t fourRings = ringSize > 0 ? 4 * static_cast<std::size_t>(ringSize) : 0;
    return std::min(std::max(fourRings, kMinimumViewTrimAt), kMaximumViewTrimAt);
}

namespace {

// A text handed to the control through EM_STREAMIN, a piece at a time.
struct PlainTextSource {
    const char* next;
    std::size_t left;
};

DWORD CALLBACK readPlainText(DWORD_PTR cookie, LPBYTE buffer, LONG capacity, LONG* given) {
    auto* source = reinterpret_cast<PlainTextSource*>(cookie);
    std::size_t size = std::min(source->left, static_cast<std::size_t>(capacity > 0 ? capacity : 0));
    // A carriage return and its line feed go in one piece: split, they could make two line breaks.
    if (size > 1 && size < source->left && source->next[size - 1] == '\r')
        --size;
    std::memcpy(buffer, source->next, size);
    source->next += size;
    source->left -= size;
    *given = static_cast<LONG>(size);
    return 0;
}

// Puts a text into the view as plain text, in place of the selection or of the whole text. WM_SETTEXT and
// EM_REPLACESEL would read a text that begins with "{\rtf" as rich text and show its markup's result
// instead of the text; a stream of the format SF_TEXT is never read as anything but characters.
void insertPlainText(HWND view, const char* text, std::size_t length, bool replaceSelection) {
    PlainTextSource source{text, length};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = readPlainText;
    SendMessageA(view, EM_STREAMIN, SF_TEXT | (replaceSelection ? SFF_SELECTION : 0),
                 reinterpret_cast<LPARAM>(&stream));
}

LRESULT textLength(HWND view) {
    LRESULT lastLine = SendMessageA(view, EM_GETLINECOUNT, 0, 0) - 1;
    LRESULT lastLineStart = SendMessageA(view, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    return lastLineStart + SendMessageA(view, EM_LINELENGTH, static_cast<WPARAM>(lastLineStart), 0);
}

void putCaretAtEnd(HWND view) {
    LRESULT end = textLength(view);
    SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(view, EM_SCROLLCARET, 0, 0);
}

// What dropping the oldest lines took away: characters and lines.
struct Dropped {
    LRESULT characters = 0;
    LRESULT lines = 0;
};

// The start of the first line of text at or after a character position, or -1 when none starts there.
// The control's own lines are rows on the screen, which a long line of text may fill several of; a line
// of text ends with a paragraph mark.
LRESULT nextLineStart(HWND view, LRESULT position, LRESULT length) {
    constexpr LRESULT kPiece = 4096;
    char piece[kPiece * 2 + 1];
    // From the character before the position: it may end the line before.
    for (LRESULT from = position - 1; from < length; from += kPiece) {
        TEXTRANGEA range{{static_cast<LONG>(from), static_cast<LONG>(std::min(from + kPiece, length))},
                         piece};
        const LRESULT got = SendMessageA(view, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        for (LRESULT i = 0; i < got && piece[i] != '\0'; ++i) {
            if (piece[i] == '\r' || piece[i] == '\n') {
                // Characters, not bytes: a character of a double-byte code page takes two.
                return from + MultiByteToWideChar(CP_ACP, 0, piece, static_cast<int>(i + 1), nullptr, 0);
            }
        }
        if (got <= 0)
            break;
    }
    return -1;
}

// Keeps the view to its bound: past trimAt characters, drops the oldest whole lines down to half of it.
Dropped dropOldestLines(HWND view, std::size_t trimAt) {
    const LRESULT length = textLength(view);
    if (length <= static_cast<LRESULT>(trimAt))
        return {};
    const LRESULT keptStart = nextLineStart(view, length - static_cast<LRESULT>(trimAt / 2), length);
    if (keptStart <= 0)
        return {};
    const LRESULT rows = SendMessageA(view, EM_EXLINEFROMCHAR, 0, keptStart);
    SendMessageA(view, EM_SETSEL, 0, keptStart);
    SendMessageA(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    return {keptStart, rows};
}

} // namespace

void AppendToViewNow(HWND view, const std::string& text, std::size_t trimAt, bool replaceAll) {
    SendMessageA(view, WM_SETREDRAW, FALSE, 0);
    LRESULT end = textLength(view);
    DWORD selectionStart = 0, selectionEnd = 0;
    SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                 reinterpret_cast<LPARAM>(&selectionEnd));
    const bool atEnd = selectionStart == static_cast<DWORD>(end) && selectionEnd == static_cast<DWORD>(end);
    LRESULT firstVisible = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    Dropped dropped;
    if (replaceAll) {
        dropped = {end, SendMessageA(view, EM_GETLINECOUNT, 0, 0)};
        insertPlainText(view, text.data(), text.size(), false);
    } else {
        SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(end), end);
        insertPlainText(view, text.data(), text.size(), true);
        dropped = dropOldestLines(view, trimAt);
    }
    if (atEnd) {
        putCaretAtEnd(view);
    } else {
        // The text the user looks at moved up by what was dropped; it stays where it was on the screen
        // (the selection goes to the start when its own text was dropped).
        auto shifted = [&](DWORD position) {
            return static_cast<LPARAM>(
                std::max<LRESULT>(0, static_cast<LRESULT>(position) - dropped.characters));
        };
        SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(shifted(selectionStart)), shifted(selectionEnd));
        LRESULT nowFirst = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
        LRESULT wantedFirst = std::max<LRESULT>(0, firstVisible - dropped.lines);
        SendMessageA(view, EM_LINESCROLL, 0, wantedFirst - nowFirst);
    }
    SendMessageA(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
}

void FillView(HWND view, const char* text, std::size_t trimAt) {
    SendMessageA(view, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(2 * trimAt));
    insertPlainText(view, text, std::strlen(text), false);
    putCaretAtEnd(view);
}

HWND CreateView(HWND window, HINSTANCE instance) {
    HWND view = CreateWindowExA(0, "RichEdit20A", "",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_READONLY,
                                0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_VIEW), instance, nullptr);
    SendMessageA(view, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_MENU)));
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    SendMessageA(view, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    format.dwMask = CFM_BOLD | CFM_FACE | CFM_COLOR | CFM_SIZE;
    format.dwEffects = CFE_AUTOCOLOR;
    format.yHeight = 160;
    std::strcpy(format.szFaceName, "MS Sans Serif");
    SendMessageA(view, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    // A read-only view keeps no undo: the text it drops would otherwise live on there.
    SendMessageA(view, EM_SETUNDOLIMIT, 0, 0);
    return view;
}
