// The pixel rules of the installer window that do not need a window.
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
