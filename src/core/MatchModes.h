// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace diarytrawl {

// The state of one check-mark menu item.
struct MenuItemState {
    bool checked = false;
    bool enabled = true;

    friend bool operator==(const MenuItemState &, const MenuItemState &) = default;
};

// The three match-mode items of the Advanced menu and how they lock each other: a regular expression
// excludes masks and OR/THEN, which may be combined. The window mirrors these states in its menu; a
// click on a disabled item is ignored, as the menu would.
class MatchModes {
public:
    const MenuItemState &useRegExps() const { return m_useRegExps; }
    const MenuItemState &assumeDosFilemasks() const { return m_assumeDosFilemasks; }
    const MenuItemState &assumeOrAndNot() const { return m_assumeOrAndNot; }

    void useRegExps_Click();
    void assumeDosFilemasks_Click();
    void assumeOrAndNot_Click();

private:
    static void toggleTranslation(MenuItemState &clicked, const MenuItemState &other, MenuItemState &regExps);

    MenuItemState m_useRegExps;
    MenuItemState m_assumeDosFilemasks;
    MenuItemState m_assumeOrAndNot;
};

} // namespace diarytrawl
