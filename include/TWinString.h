// TWinString: the string type of the Console and Kitbag export signatures.
//
// An object holds one standard string and is used through its text. It is a plain value type: copy it,
// compare it, pass it between threads by value. Header-only, so host and library agree on its layout
// as long as both are built with the same compiler.
#pragma once

#include <string>

template <typename CharT> class TWinString {
public:
    using string_type = std::basic_string<CharT>;

    TWinString() = default;
    // A null pointer makes an empty string.
    TWinString(const CharT* text) : m_text(text ? text : string_type()) {}
    TWinString(string_type text) : m_text(std::move(text)) {}

    const CharT* c_str() const { return m_text.c_str(); }
    const string_type& str() const { return m_text; }
    std::size_t length() const { return m_text.length(); }
    bool empty() const { return m_text.empty(); }

    friend bool operator==(const TWinString& a, const TWinString& b) { return a.m_text == b.m_text; }
    friend bool operator!=(const TWinString& a, const TWinString& b) { return a.m_text != b.m_text; }

private:
    string_type m_text;
};
