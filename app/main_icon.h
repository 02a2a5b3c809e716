// The program icon MAINICON, drawn from the SVG in the program's resources.
#pragma once

#include <QIcon>
#include <QImage>

namespace lumbra {

// The sizes the icon comes in, in pixels.
inline constexpr int kMainIconSizes[] = {16, 24, 32, 48};

// The icon drawn at size × size pixels on a transparent background.
QImage RenderMainIcon(int size);
// The icon in every size of kMainIconSizes.
QIcon MainIcon();

}  // namespace lumbra
