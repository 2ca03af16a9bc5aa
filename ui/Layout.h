// The rules of the installer window that do not need a window.
#pragma once

#include <windows.h>

// The dialog font's height from the menu font's: a magnitude above 14
// becomes 13, keeping the sign, so the fixed pixel layout keeps fitting the
// text at higher DPI settings.
inline LONG CapFontHeight(LONG menuFontHeight)
{
    if (menuFontHeight > 14)
        return 13;
    if (menuFontHeight < -14)
        return -13;
    return menuFontHeight;
}

// The Close button's width for a caption `textWidth` pixels wide.
inline int CloseButtonWidth(int textWidth)
{
    return textWidth < 80 ? 80 : textWidth + 20;
}

// The Retry button is its caption plus a margin wide.
inline int RetryButtonWidth(int textWidth)
{
    return textWidth + 20;
}

// The bar's position for a progress report: the percentage, truncated
// toward zero, 0 when the total is unknown. Kept within the bar's range 0 to
// 100, which the bar would do anyway; a report of more bytes than announced
// must not overflow the conversion.
inline int ProgressPosition(int bytesDone, int bytesTotal)
{
    if (bytesTotal <= 0)
        return 0;
    const double percent = static_cast<double>(bytesDone) * 100.0 / bytesTotal;
    if (percent >= 100.0)
        return 100;
    if (percent <= 0.0)
        return 0;
    return static_cast<int>(percent);
}

namespace layout {
constexpr int kWindowWidth = 700;
constexpr int kWindowHeight = 486;
constexpr int kBannerHeight = 314;
constexpr int kProgressHeight = 5;
constexpr int kTextLeft = 30;
constexpr int kTextTop = 343;
constexpr int kTextWidth = 500;
constexpr int kLinkTop = 427;
constexpr int kLinkHeight = 18;
constexpr int kButtonTop = 415;
constexpr int kButtonHeight = 30;
constexpr int kRetryRight = 680;
}  // namespace layout
