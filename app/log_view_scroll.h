// Where the log pane scrolls after it grows or trims: a user reading older
// text stays where they are, one at the end follows new text.
#pragma once

// One append's scroll memory. Used on the user-interface thread only.
class CLogViewScroll {
public:
    static constexpr int kFollowMargin = 3;          // this close to the limit counts as at the end
    static constexpr long kTrimCharacters = 100000;  // the pane holds about this much
    static constexpr int kTrimFraction = 10;         // the oldest tenth of the lines goes

    // The first line that stays when the pane holds characters in lineCount
    // lines: 0 while it is within its size, else the oldest tenth goes.
    static int FirstLineKept(long characters, int lineCount);

    // Before the append: each bar's position and scroll limit.
    CLogViewScroll(int vertical, int verticalLimit, int horizontal, int horizontalLimit);
    // After the oldest lines were deleted: each bar's limit before and after.
    void Trimmed(int verticalLimitBefore, int verticalLimitAfter, int horizontalLimitBefore, int horizontalLimitAfter);
    // After the append, given the new limit: the position to scroll the bar
    // back to, or -1 when the bar needs no request.
    int VerticalTarget(int newLimit) const { return vertical.Target(newLimit, trimmed); }
    int HorizontalTarget(int newLimit) const { return horizontal.Target(newLimit, trimmed); }

private:
    struct sAxis {
        int position;  // -1: follows the end
        sAxis(int current, int limit);
        void Shift(int limitBefore, int limitAfter);
        int Target(int newLimit, bool trimmed) const;
    };

    sAxis vertical;
    sAxis horizontal;
    bool trimmed = false;
};
