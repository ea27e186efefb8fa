// The window's geometry is kept in twips (1/1440 inch), as it was designed; at 96 dots per
// inch 15 twips make one pixel. Every position and size goes through TwipsToPixels.
#pragma once

#include <QRect>

namespace app {

inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// Qt draws a drop-down list's frame and arrow in no less than this height.
inline constexpr int kMinimumDropDownHeight = 22;

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

}  // namespace app
