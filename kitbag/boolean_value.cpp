#include "Kitbag.h"

#include "export_drops.h"

BooleanValue::BooleanValue(const TWinString<char>& section, const TWinString<char>& key, bool defaultValue)
    : m_default(defaultValue), m_value(defaultValue), m_known(false) {
    // Nothing may throw at the host: without memory for the names the value keeps its default and is
    // never stored.
    const bool named = boundary::guarded(kitbag::exportDrops, false, [&] {
        m_section = section;
        m_key = key;
        return true;
    });
    if (!named) {
        m_section = TWinString<char>();
        m_key = TWinString<char>();
    }
}

BooleanValue::~BooleanValue() = default;

bool BooleanValue::GetValue() const {
    if (!m_known) {
        m_value = m_default;
        KB_GetBoolA(m_section.c_str(), m_key.c_str(), &m_value);
        m_known = true;
    }
    return m_value;
}

bool BooleanValue::SetValue(bool value) {
    m_value = value;
    m_known = true;
    return KB_SetBoolA(m_section.c_str(), m_key.c_str(), value);
}

bool BooleanValue::Reload(unsigned long flags, void* reserved) {
    if (flags != 0 || reserved != nullptr)
        return false;
    m_known = false;
    return true;
}
