#pragma once

// Window-frame sizes and the twip (1/1440 inch) units that window geometry is kept in.
namespace SystemMetrics {

int captionHeight(); // SM_CYCAPTION: the title bar of a child window, pixels
int borderWidth();   // SM_CXBORDER: the thin border, 1 pixel
int borderHeight();  // SM_CYBORDER: the thin border, 1 pixel
// The sizing frame that a child window's frame draws on each side, pixels: what the
// frame takes from the window besides its title bar (thicker than the thin border).
int frameWidth();

// Twips per pixel: 1440 / logical DPI (15 at 96 DPI).
double twipsPerPixelX();
double twipsPerPixelY();

// Test seam: fixed values until reset (all <= 0 to reset); the frame is as thick as
// the border unless given.
void setOverride(int caption, int borderX, int borderY, double twipsX, double twipsY, int frame = -1);

} // namespace SystemMetrics
