#include "PropPageTools.h"

#include "korra/Windowing.h"

namespace {
constexpr long kHeldMagnitude = 999999999L;
}

bool ParseFieldNumber(const std::string& text, bool allowSign, long* value)
{
    std::size_t i = 0;
    bool negative = false;
    if (allowSign && i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == text.size())
        return false;
    long magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        if (magnitude < kHeldMagnitude)
            magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kHeldMagnitude)
            magnitude = kHeldMagnitude;
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

bool ReadFieldNumber(HWND dialog, int id, bool allowSign, long* value)
{
    return ParseFieldNumber(korra::CWindowA(::GetDlgItem(dialog, id)).GetWindowText(), allowSign,
                            value);
}
