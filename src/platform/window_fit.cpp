// Window sizes, the picture's place and the scaler: see window_fit.h.
#include "platform/window_fit.h"

#include <algorithm>
#include <cstring>

int firstWindowScale(int usableWidth, int usableHeight, int frameWidth, int frameHeight,
                     int canvasWidth, int canvasHeight) {
  for (int scale = MaxWindowScale; scale > 1; --scale) {
    if (static_cast<long long>(canvasWidth) * scale + frameWidth <= usableWidth &&
        static_cast<long long>(canvasHeight) * scale + frameHeight <= usableHeight)
      return scale;
  }
  return 1;
}

FirstWindow chooseFirstWindow(int wanted, bool remembered, int usableWidth, int usableHeight, int frameWidth,
                              int frameHeight, int canvasWidth, int canvasHeight) {
  const int fits = firstWindowScale(usableWidth, usableHeight, frameWidth, frameHeight, canvasWidth, canvasHeight);
  FirstWindow first;
  wanted = std::clamp(wanted, 0, MaxWindowScale);
  if (wanted == 0 || wanted <= fits) {
    first.scale = wanted == 0 ? fits : wanted;
  } else if (remembered) {
    first.scale = fits;
    first.lowered = true;
  } else {
    first.scale = wanted;
    first.tooLarge = true;
  }
  return first;
}

PictureFit fitPicture(int drawableWidth, int drawableHeight, int canvasWidth, int canvasHeight) {
  PictureFit fit;
  if (canvasWidth > 0 && canvasHeight > 0)
    fit.scale = std::max(1, std::min(drawableWidth / canvasWidth, drawableHeight / canvasHeight));
  fit.width = canvasWidth * fit.scale;
  fit.height = canvasHeight * fit.scale;
  fit.x = std::max(0, (drawableWidth - fit.width) / 2);
  fit.y = std::max(0, (drawableHeight - fit.height) / 2);
  return fit;
}

namespace {
// Canvas coordinate of a drawable coordinate along one axis: the bars before
// and after the picture map to its first and last pixel.
int toCanvas(long long pixel, int offset, int size, int scale, int canvasSize, bool* inside) {
  const long long into = pixel - offset;
  *inside = into >= 0 && into < size;
  if (into < 0) return 0;
  return static_cast<int>(std::min<long long>(into / scale, canvasSize - 1));
}
}  // namespace

CanvasPoint windowToCanvas(int x, int y, int windowWidth, int windowHeight, int drawableWidth,
                           int drawableHeight, int canvasWidth, int canvasHeight) {
  // A window system that has not told the drawable's size yet: points are pixels.
  if (windowWidth <= 0 || windowHeight <= 0 || drawableWidth <= 0 || drawableHeight <= 0) {
    windowWidth = drawableWidth = std::max(windowWidth, 1);
    windowHeight = drawableHeight = std::max(windowHeight, 1);
  }
  const long long px = static_cast<long long>(x) * drawableWidth / windowWidth;
  const long long py = static_cast<long long>(y) * drawableHeight / windowHeight;
  const PictureFit fit = fitPicture(drawableWidth, drawableHeight, canvasWidth, canvasHeight);
  CanvasPoint point;
  bool insideX = false, insideY = false;
  point.x = toCanvas(px, fit.x, fit.width, fit.scale, canvasWidth, &insideX);
  point.y = toCanvas(py, fit.y, fit.height, fit.scale, canvasHeight, &insideY);
  point.overPicture = insideX && insideY && px < drawableWidth && py < drawableHeight;
  return point;
}

void scaleCanvasRect(const uint8_t* canvas, int canvasWidth, int x, int y, int width, int height,
                     const uint32_t colours[256], int scale, uint32_t* target, long targetPitch) {
  if (width <= 0 || height <= 0 || scale < 1) return;
  const size_t rowBytes = static_cast<size_t>(width) * scale * sizeof(uint32_t);
  for (int row = y; row < y + height; ++row) {
    const uint8_t* src = canvas + static_cast<size_t>(row) * canvasWidth + x;
    uint32_t* first = target + static_cast<long>(row) * scale * targetPitch + static_cast<long>(x) * scale;
    // Each canvas pixel is looked up once; the widened row is then copied
    // down, which is a plain memory copy however large the scale.
    uint32_t* out = first;
    switch (scale) {
      case 1:
        for (int i = 0; i < width; ++i) out[i] = colours[src[i]];
        break;
      case 2:
        for (int i = 0; i < width; ++i, out += 2) out[0] = out[1] = colours[src[i]];
        break;
      case 3:
        for (int i = 0; i < width; ++i, out += 3) out[0] = out[1] = out[2] = colours[src[i]];
        break;
      default:
        for (int i = 0; i < width; ++i, out += scale) std::fill(out, out + scale, colours[src[i]]);
        break;
    }
    for (int copy = 1; copy < scale; ++copy) std::memcpy(first + copy * targetPitch, first, rowBytes);
  }
}
