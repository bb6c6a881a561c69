#pragma once

// The windows' style sheets name "微软雅黑". Where that family is missing
// (any Linux desktop) the client falls back to a CJK font with similar
// metrics instead of whatever the system picks per glyph.
void installClientFontSubstitutes();
