// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowLayout.h"

#include <algorithm>

namespace diarytrawl {

namespace {

// The designed geometry the rule starts from.
constexpr int EditNickLeft = 120;
constexpr int Output2Left = 120;
constexpr int Output2Top = 840;
constexpr int CancelSearchButtonHeight = 375;
constexpr int SearchButtonWidth = 855;
constexpr int SearchStringEditLeft = 3360;

} // namespace

ResizedGeometry layoutForOuterSize(int outerWidth, int outerHeight)
{
    // Computed in single precision, as the rule is defined; every value involved is a whole number of
    // twips well inside float's exact range.
    const float W = float(outerWidth);
    const float H = float(outerHeight);
    const float output2Width = W - 3.0f * Output2Left;
    const float cancelTop = H - 3.0f * CancelSearchButtonHeight;
    const float output2Height = cancelTop - Output2Top - CancelSearchButtonHeight;
    const float searchButtonLeft = W - SearchButtonWidth - 2.0f * EditNickLeft;
    const float searchStringEditWidth = searchButtonLeft - SearchStringEditLeft - EditNickLeft;

    ResizedGeometry geometry;
    geometry.output2Width = std::max(0, int(output2Width));
    geometry.output2Height = std::max(0, int(output2Height));
    geometry.cancelSearchButtonTop = int(cancelTop);
    geometry.searchButtonLeft = int(searchButtonLeft);
    geometry.searchStringEditWidth = std::max(0, int(searchStringEditWidth));
    return geometry;
}

} // namespace diarytrawl
