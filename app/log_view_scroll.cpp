#include "app/log_view_scroll.h"

int CLogViewScroll::FirstLineKept(long characters, int lineCount)
{
    if (characters <= kTrimCharacters || lineCount <= 0)
        return 0;
    return lineCount / kTrimFraction;
}

CLogViewScroll::sAxis::sAxis(int current, int limit)
    : position(current < 0 || limit - current <= kFollowMargin ? -1 : current)
{
}

void CLogViewScroll::sAxis::Shift(int limitBefore, int limitAfter)
{
    if (position < 0)
        return;
    // A user looking at deleted lines lands on the oldest that is left.
    position += limitAfter - limitBefore;
    if (position < 0)
        position = 0;
}

int CLogViewScroll::sAxis::Target(int newLimit, bool afterTrim) const
{
    if (position >= 0)
        return position;
    // Without a trim the caret at the end keeps the view there by itself.
    return afterTrim ? newLimit : -1;
}

CLogViewScroll::CLogViewScroll(int verticalPosition, int verticalLimit, int horizontalPosition, int horizontalLimit)
    : vertical(verticalPosition, verticalLimit), horizontal(horizontalPosition, horizontalLimit)
{
}

void CLogViewScroll::Trimmed(int verticalLimitBefore, int verticalLimitAfter, int horizontalLimitBefore,
                             int horizontalLimitAfter)
{
    vertical.Shift(verticalLimitBefore, verticalLimitAfter);
    horizontal.Shift(horizontalLimitBefore, horizontalLimitAfter);
    trimmed = true;
}
