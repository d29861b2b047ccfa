// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace diarytrawl {

// Geometry in twips (1/1440 inch); 15 twips make one device-independent pixel.
inline constexpr int TwipsPerPixel = 15;

constexpr int toPixels(int twips)
{
    return twips / TwipsPerPixel;
}

constexpr int toTwips(int pixels)
{
    return pixels * TwipsPerPixel;
}

// The smallest outer size the window takes, in twips. Narrower, the Search button would cover the search
// string's caption (which ends at 5895); lower, the log would keep no room for a few lines between its
// scroll bars (it keeps 1500 here).
inline constexpr int MinimumOuterWidth = 6990;
inline constexpr int MinimumOuterHeight = 3840;

// What the layout rule moves when the window's outer size changes; everything else keeps its designed
// place. All values in twips, relative to the client area below the menu bar.
struct ResizedGeometry {
    int output2Width = 0;
    int output2Height = 0;
    int cancelSearchButtonTop = 0;
    int searchButtonLeft = 0;
    int searchStringEditWidth = 0;

    friend bool operator==(const ResizedGeometry &, const ResizedGeometry &) = default;
};

// The log follows the right and bottom edges, the Search button the right edge, the Cancel button the
// bottom edge and the search field stretches up to the Search button. outerWidth and outerHeight are the
// whole window's, frame and menu bar included. The window is never made smaller than the minimum
// size; below it, sizes that would be negative (narrower than 4575 or lower than 2340 twips) are clamped
// at zero.
ResizedGeometry layoutForOuterSize(int outerWidth, int outerHeight);

} // namespace diarytrawl
