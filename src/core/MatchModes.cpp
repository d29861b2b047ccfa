// SPDX-License-Identifier: GPL-3.0-or-later
#include "MatchModes.h"

namespace diarytrawl {

void MatchModes::useRegExps_Click()
{
    if (!m_useRegExps.enabled)
        return;
    m_useRegExps.checked = !m_useRegExps.checked;
    m_assumeDosFilemasks.enabled = !m_useRegExps.checked;
    m_assumeOrAndNot.enabled = !m_useRegExps.checked;
}

void MatchModes::toggleTranslation(MenuItemState &clicked, const MenuItemState &other, MenuItemState &regExps)
{
    if (!clicked.enabled)
        return;
    clicked.checked = !clicked.checked;
    if (clicked.checked)
        regExps.enabled = false;
    else
        regExps.enabled = !other.checked;
}

void MatchModes::assumeDosFilemasks_Click()
{
    toggleTranslation(m_assumeDosFilemasks, m_assumeOrAndNot, m_useRegExps);
}

void MatchModes::assumeOrAndNot_Click()
{
    toggleTranslation(m_assumeOrAndNot, m_assumeDosFilemasks, m_useRegExps);
}

} // namespace diarytrawl
