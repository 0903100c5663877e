#include "Kitbag.h"

BooleanValue::BooleanValue(const TWinString<char>& section, const TWinString<char>& key, bool defaultValue)
    : m_section(section), m_key(key), m_value(defaultValue) {
    Refresh(0, nullptr);
}

BooleanValue::~BooleanValue() = default;

bool BooleanValue::GetValue() const {
    return m_value;
}

bool BooleanValue::SetValue(bool value) {
    m_value = value;
    return KB_SetBoolA(m_section.c_str(), m_key.c_str(), value);
}

bool BooleanValue::Refresh(unsigned long flags, void* reserved) {
    if (flags != 0 || reserved != nullptr)
        return false;
    return KB_GetBoolA(m_section.c_str(), m_key.c_str(), &m_value);
}
