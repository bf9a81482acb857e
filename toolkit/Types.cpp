#include "toolkit/Types.h"

namespace tk {

QColor ColorToQColor(TColor color) {
    const auto value = static_cast<unsigned>(color);
    if ((value & 0xFF000000u) == 0x80000000u) {
        // The classic desktop scheme, fixed so that windows look the same everywhere.
        static constexpr unsigned kSystem[] = {
            0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000,
            0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D,
            0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000, 0xE1FFFF,
        };
        const unsigned index = value & 0xFFu;
        const unsigned bgr = index < std::size(kSystem) ? kSystem[index] : 0;
        return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    }
    if (color == clNone || color == clDefault)
        return QColor(Qt::transparent);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace tk
