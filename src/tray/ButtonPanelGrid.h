#pragma once

// The button panel's grid: fixed, so that every button is as easy to hit
// as the next, and so that tests can click them under X.
struct ButtonPanelGrid
{
    static constexpr int ButtonSize = 48;
    static constexpr int IconSize = 32;
    static constexpr int Columns = 7;
    static constexpr int Margin = 8;
    static constexpr int Spacing = 6;
};
