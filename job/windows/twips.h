#pragma once
// The job windows are laid out in twips (1/1440 inch) at 15 twips to a pixel.
#include <QtGlobal>

namespace sbx::twips {

inline int toPixels(double twips) { return qRound(twips / 15.0); }

// A form's height counts its caption and borders; Qt sizes the client area, so that much is
// taken off. 495 twips is a caption of 25 pixels and two borders of 4.
inline constexpr int kFrameHeight = 495;
inline int clientHeight(int formHeight) { return toPixels(formHeight - kFrameHeight); }

}  // namespace sbx::twips
