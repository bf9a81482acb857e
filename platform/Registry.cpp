#include "platform/Registry.h"

TRegValue TRegValue::String(const QString& text, std::uint32_t type) {
    TRegValue value;
    value.Type = type;
    value.Text = text;
    return value;
}

TRegValue TRegValue::Dword(std::uint32_t number) {
    TRegValue value;
    value.Type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8)
        value.Data.append(char((number >> shift) & 0xFF));
    return value;
}
